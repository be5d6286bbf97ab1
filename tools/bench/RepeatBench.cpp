#include "RepeatBench.h"

#include "BenchConsole.h"
#include "Histogram.h"
#include "Stats.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// The projector's end, on a thread of its own so the console's event loop never delays the
// timestamps: each command is stamped when it becomes readable and answered with an ACK, as the
// projector does.
class ArrivalRecorder {
public:
    explicit ArrivalRecorder(PseudoTerminal& peer) : m_peer(peer) {}
    ~ArrivalRecorder() { stop(); }

    void start() {
        m_thread = std::thread([this] { run(); });
    }
    void stop() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

    // Read only after stop().
    std::vector<Clock::time_point> arrivals;
    QByteArray received;

private:
    void run() {
        pollfd pfd{m_peer.masterFd(), POLLIN, 0};
        while (!m_stop) {
            if (::poll(&pfd, 1, 20) <= 0)
                continue;
            const Clock::time_point at = Clock::now();
            const QByteArray chunk = m_peer.readAvailable();
            for (const char ch : chunk) {
                if (ch != '\r')
                    continue;
                arrivals.push_back(at);
                m_peer.write("\x06");
            }
            received += chunk;
        }
    }

    PseudoTerminal& m_peer;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
};

double milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

std::vector<double> deviationsFrom100ms(const std::vector<Clock::time_point>& arrivals) {
    std::vector<double> deviations;
    for (size_t i = 1; i < arrivals.size(); ++i)
        deviations.push_back(std::abs(milliseconds(arrivals[i] - arrivals[i - 1]) - 100.0));
    return deviations;
}

// What this machine alone does to the same measurement, over the same seconds: a bare thread
// writes the command into a pseudo-terminal of its own at exact 100 ms marks (clock_nanosleep to
// absolute times) while the hold runs, and a recorder of its own stamps it as the console's is
// stamped. Its deviations are wake-ups that came late, not our timer.
class MarkWriter {
public:
    explicit MarkWriter(PseudoTerminal& pty) : m_pty(pty), m_recorder(pty) {}
    ~MarkWriter() { stop(); }

    void start() {
        m_recorder.start();
        m_thread = std::thread([this] { run(); });
    }
    // Returns the arrivals once the last write is stamped.
    const std::vector<Clock::time_point>& stop() {
        m_stop = true;
        if (m_thread.joinable()) {
            m_thread.join();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        m_recorder.stop();
        return m_recorder.arrivals;
    }

private:
    void run() {
        timespec mark{};
        ::clock_gettime(CLOCK_MONOTONIC, &mark);
        while (!m_stop) {
            mark.tv_nsec += 100'000'000;
            if (mark.tv_nsec >= 1'000'000'000) {
                mark.tv_nsec -= 1'000'000'000;
                ++mark.tv_sec;
            }
            ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &mark, nullptr);
            if (::write(m_pty.slaveFd(), "C47\r", 4) != 4)
                return;
        }
    }

    PseudoTerminal& m_pty;
    ArrivalRecorder m_recorder;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
};

} // namespace

int runRepeatBench(const QString& csvPath, const QString& pngPath, int seconds) {
    BenchConsole c;
    if (!c.pty.isValid() || !c.start()) {
        std::fprintf(stderr, "mx7300-bench: the console did not open its port\n");
        return 1;
    }
    QPushButton* zoomUp = c.button("Command30");
    ArrivalRecorder recorder(c.pty);
    recorder.start();
    PseudoTerminal controlLine;
    MarkWriter control(controlLine);
    BenchConsole::settle(200);

    control.start();
    QTest::mousePress(zoomUp, Qt::LeftButton);
    BenchConsole::settle(seconds * 1000);
    QTest::mouseRelease(zoomUp, Qt::LeftButton);
    const Summary floor = summarise(deviationsFrom100ms(control.stop()));
    BenchConsole::settle(500); // the last command and its ACK
    recorder.stop();

    const int sends = int(recorder.arrivals.size());
    if (recorder.received != QByteArray("C47\r").repeated(sends) || sends < 2) {
        std::fprintf(stderr, "mx7300-bench: the hold sent something other than C47 CR\n");
        return 1;
    }
    std::vector<double> periods;
    std::vector<QString> rows;
    const Clock::time_point first = recorder.arrivals.front();
    for (int i = 1; i < sends; ++i) {
        const double period = milliseconds(recorder.arrivals[i] - recorder.arrivals[i - 1]);
        periods.push_back(period);
        rows.push_back(QStringLiteral("%1,%2,%3")
                           .arg(i)
                           .arg(milliseconds(recorder.arrivals[i] - first), 0, 'f', 3)
                           .arg(period, 0, 'f', 3));
    }
    // How late each send is against the schedule set by the first (0, 100, 200 ms ...): the
    // timer reschedules from its due time, so lateness does not add up from tick to tick.
    std::vector<double> lateness;
    for (int i = 1; i < sends; ++i)
        lateness.push_back(milliseconds(recorder.arrivals[i] - first) - 100.0 * i);
    const Summary late = summarise(lateness);
    const Summary p = summarise(periods);
    const Summary d = summarise(deviationsFrom100ms(recorder.arrivals));
    report("repeat_hold_s", seconds, 0);
    report("repeat_sends", sends, 0);
    report("repeat_mean_period_ms", p.mean, 3);
    report("repeat_min_period_ms", *std::min_element(periods.begin(), periods.end()), 3);
    report("repeat_max_period_ms", p.max, 3);
    report("repeat_p50_deviation_ms", d.p50, 3);
    report("repeat_p99_deviation_ms", d.p99, 3);
    report("repeat_max_deviation_ms", d.max, 3);
    report("repeat_late_p50_ms", late.p50, 3);
    report("repeat_late_max_ms", late.max, 3);
    report("repeat_late_last_ms", lateness.back(), 3);
    report("repeat_floor_p50_deviation_ms", floor.p50, 3);
    report("repeat_floor_p99_deviation_ms", floor.p99, 3);
    report("repeat_floor_max_deviation_ms", floor.max, 3);

    QDir().mkpath(QFileInfo(csvPath).path());
    QDir().mkpath(QFileInfo(pngPath).path());
    const bool written =
        writeCsv(csvPath, QStringLiteral("send,arrival_ms,period_ms"), rows) &&
        saveHistogram(pngPath, periods, 100.0,
                      QStringLiteral("ZOOM up held %1 s: %2 sends, mean period %3 ms")
                          .arg(seconds)
                          .arg(sends)
                          .arg(p.mean, 0, 'f', 3));
    return written ? 0 : 1;
}
