#include "NoiseBench.h"

#include "BenchConsole.h"
#include "LineNoise.h"
#include "ProcessProbe.h"
#include "Stats.h"

#include "AnyDevicePort.h"
#include "LoadedNetworkPorts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {

int fail(const char* what) {
    std::fprintf(stderr, "mx7300-bench noise: %s\n", what);
    return 1;
}

int floodSeconds() {
    return qEnvironmentVariableIsSet("TAVO_FLOOD_SECONDS")
               ? qEnvironmentVariableIntValue("TAVO_FLOOD_SECONDS")
               : 60;
}

double cpuMs() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

bool statusReplyDecodes(BenchConsole& c) {
    c.pty.readAvailable();
    QTest::mouseClick(c.button("Command44"), Qt::LeftButton);
    QByteArray sent;
    if (!c.pty.readUntil('\r', 2000, &sent) || !sent.endsWith("CR0\r") || !c.pty.write("00\r"))
        return false;
    return QTest::qWaitFor([&] { return c.label("Label25")->text() == QLatin1String(" Power ON"); },
                           5000);
}

// Idle, "On" clicked once a second, then a 256 KiB burst at memory speed.
int idleFlood(int seconds) {
    BenchConsole c;
    if (!c.pty.isValid() || !c.start())
        return fail("the console did not open its port on the pseudo-terminal");
    QRandomGenerator random(19200);
    floodAtLineRate(c, random, 2000, nullptr); // settle allocations before measuring
    const long before = residentKb(::getpid());
    std::vector<double> clicks;
    floodAtLineRate(c, random, seconds * 1000, &clicks);
    for (int i = 0; i < 64; ++i) {
        QByteArray bytes(4096, Qt::Uninitialized);
        for (char& b : bytes)
            b = char(random.bounded(256));
        c.pty.write(bytes);
        QCoreApplication::processEvents();
    }
    const long after = residentKb(::getpid());
    BenchConsole::settle(300); // the noise drains before the real reply
    const Summary s = summarise(clicks);
    report("noise_seconds", seconds, 0);
    report("noise_idle_rss_before_kb", before, 0);
    report("noise_idle_rss_after_kb", after, 0);
    report("noise_clicks", double(clicks.size()), 0);
    report("noise_click_p50_us", s.p50, 1);
    report("noise_click_max_us", s.max, 1);
    report("noise_reply_decoded", statusReplyDecodes(c) ? 1 : 0, 0);
    return 0;
}

// ZOOM up held throughout; about ten repeats a second are due.
int heldFlood(int seconds) {
    BenchConsole c;
    if (!c.pty.isValid() || !c.start())
        return fail("the console did not open its port on the pseudo-terminal");
    QRandomGenerator random(7300);
    QPushButton* zoomUp = c.button("Command30");
    const long before = residentKb(::getpid());
    QByteArray sent;
    QTest::mousePress(zoomUp, Qt::LeftButton);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000) {
        floodAtLineRate(c, random, 500, nullptr);
        sent += c.pty.readAvailable();
    }
    QTest::mouseRelease(zoomUp, Qt::LeftButton);
    sent += c.pty.readAvailable();
    const long after = residentKb(::getpid());
    report("noise_hold_repeats", double(sent.count("C47\r")), 0);
    report("noise_hold_other_bytes", double(sent.size() - 4 * sent.count("C47\r")), 0);
    report("noise_hold_rss_before_kb", before, 0);
    report("noise_hold_rss_after_kb", after, 0);
    return 0;
}

// An RFC 2217 open on a server that accepts and never answers waits for its time-out with the
// event loop turning: a 20 ms ticker's longest gap shows how freely.
int openWait() {
    QTcpServer silent;
    if (!silent.listen(QHostAddress::LocalHost, 0))
        return fail("no loopback port to listen on");
    const QString device = QStringLiteral("rfc2217://127.0.0.1:%1").arg(silent.serverPort());
    tavo::AnyDevicePort port([device](int) { return device; }, tavo::loadedNetworkPorts());
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    int ticks = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, &ticker, [&] {
        ++ticks;
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
    });
    ticker.start(20);
    clock.start();
    if (port.setPortOpen(true))
        return fail("the silent server's port opened");
    const qint64 waited = clock.elapsed();
    longest = std::max(longest, waited - last);
    report("open_wait_ms", double(waited), 0);
    report("open_wait_ticks", ticks, 0);
    report("open_wait_longest_gap_ms", double(longest), 0);
    return 0;
}

// The daemon killed under an open network port: the link ends once, then the console idles.
int lostServer() {
    if (Ser2netServer::executable().isEmpty())
        return 0;
    BenchConsole c(BenchConsole::Route::Rfc2217, false);
    if (!c.pty.isValid() || !c.start())
        return fail("the console did not open its network port through ser2net");
    c.killServer();
    if (!QTest::qWaitFor([&] { return !c.portOpen(); }, 5000))
        return fail("the lost server was never noticed");
    const double before = cpuMs();
    BenchConsole::settle(1000);
    report("lost_server_cpu_ms", cpuMs() - before, 1);
    return 0;
}

} // namespace

int runNoiseBench() {
    const int seconds = floodSeconds();
    if (const int failed = idleFlood(seconds))
        return failed;
    if (const int failed = heldFlood(std::min(seconds, 60)))
        return failed;
    if (const int failed = openWait())
        return failed;
    return lostServer();
}
