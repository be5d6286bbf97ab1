#pragma once

#include "PseudoTerminal.h"

#include "sim/Clock.h"
#include "sim/Simulator.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Simulated projectors on pseudo-terminals for the gateway's benchmarks: each line is one pty
// with one to four projectors behind it (addresses 001 to 004, each the simulator's own model
// and answers), all served by one thread of their own so the gateway's side of the line is the
// only thing measured. Replies start `replyDelayMs` after their command, as the projector's
// own turnaround plus the line time of a real 9600-baud link would make them.
class ProjectorBank {
public:
    using Clock = std::chrono::steady_clock;
    // Told on the bank's thread as bytes arrive from the gateway, stamped at their arrival.
    using OnBytes = std::function<void(int line, Clock::time_point at, const QByteArray& bytes)>;

    ProjectorBank(int lines, int projectorsPerLine, int replyDelayMs, int baud);
    ~ProjectorBank();
    ProjectorBank(const ProjectorBank&) = delete;
    ProjectorBank& operator=(const ProjectorBank&) = delete;

    bool isValid() const { return m_error.isEmpty(); }
    QString errorString() const { return m_error; }
    int lineCount() const { return int(m_lines.size()); }
    QString device(int line) const { return m_lines[size_t(line)]->pty.slavePath(); }
    static QByteArray address(int projector) {
        return QByteArray::number(projector + 1).rightJustified(3, '0');
    }

    // Set before start(); runs on the bank's thread, so it must be quick.
    void setOnBytes(OnBytes onBytes) { m_onBytes = std::move(onBytes); }
    void start();
    void stop();

    // Changes one projector's model (from any thread); its next answers show it.
    void change(int line, int projector,
                const std::function<void(tavo::sim::ProjectorModel&)>& what);
    // When the gateway last sent anything on any line.
    Clock::time_point lastTraffic() const;

private:
    struct Line {
        explicit Line(int baud) : pty(baud) {}
        PseudoTerminal pty;
        std::vector<std::unique_ptr<tavo::sim::Simulator>> projectors;
    };
    void run();
    int msUntilOutput();
    void pumpOutput();

    tavo::sim::SteadyClock m_clock;
    std::vector<std::unique_ptr<Line>> m_lines;
    OnBytes m_onBytes;
    QString m_error;
    std::mutex m_mutex; // the models, against change() from other threads
    std::thread m_thread;
    int m_wake[2] = {-1, -1};
    std::atomic<bool> m_stopping{false};
    std::atomic<Clock::rep> m_lastTraffic{0};
};
