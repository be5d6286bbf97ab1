#include "RepeatBench.h"

#include "BenchConsole.h"
#include "Histogram.h"
#include "Stats.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <poll.h>

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
    BenchConsole::settle(200);

    QTest::mousePress(zoomUp, Qt::LeftButton);
    BenchConsole::settle(seconds * 1000);
    QTest::mouseRelease(zoomUp, Qt::LeftButton);
    BenchConsole::settle(500); // the last command and its ACK
    recorder.stop();

    const int sends = int(recorder.arrivals.size());
    if (recorder.received != QByteArray("C47\r").repeated(sends) || sends < 2) {
        std::fprintf(stderr, "mx7300-bench: the hold sent something other than C47 CR\n");
        return 1;
    }
    std::vector<double> periods;
    std::vector<double> deviations;
    std::vector<QString> rows;
    const Clock::time_point first = recorder.arrivals.front();
    for (int i = 1; i < sends; ++i) {
        const double period = milliseconds(recorder.arrivals[i] - recorder.arrivals[i - 1]);
        periods.push_back(period);
        deviations.push_back(std::abs(period - 100.0));
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
    const Summary d = summarise(deviations);
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
