#include "TrafficBench.h"

#include "BenchConsole.h"
#include "LineNoise.h"
#include "ProcessProbe.h"
#include "Stats.h"

#include "TrafficFileWriter.h"
#include "TrafficLog.h"
#include "TrafficLogWindow.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTableView>
#include <QTest>

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

double microseconds(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

int fail(const char* what) {
    std::fprintf(stderr, "mx7300-bench traffic: %s\n", what);
    return 1;
}

bool readable(int fd) {
    pollfd pfd{fd, POLLIN, 0};
    return ::poll(&pfd, 1, 0) > 0;
}

bool spinUntilReadable(int fd, Clock::time_point since) {
    while (!readable(fd)) {
        if (Clock::now() - since > std::chrono::seconds(2))
            return false;
    }
    return true;
}

// "On" clicked; microseconds until its first byte is readable at the projector's end, or -1.
double clickToWire(BenchConsole& c) {
    QPushButton* on = c.button("Command17");
    QLabel* rxd = c.label("Label12");
    c.stopDisplayTimers();
    const Clock::time_point start = Clock::now();
    QTest::mousePress(on, Qt::LeftButton);
    QTest::mouseRelease(on, Qt::LeftButton);
    if (!spinUntilReadable(c.pty.masterFd(), start))
        return -1;
    const double us = microseconds(Clock::now() - start);
    QByteArray sent;
    if (!c.pty.readUntil('\r', 2000, &sent) || sent != "C00\r" || !c.pty.write("\x06"))
        return -1;
    QElapsedTimer wait;
    wait.start();
    while (!rxd->text().contains(QLatin1String("[ACK]"))) {
        if (wait.elapsed() > 2000)
            return -1;
        QCoreApplication::processEvents();
    }
    BenchConsole::settle(2);
    return us;
}

// "STATUS" clicked and answered; microseconds from the reply's write until the status line reads
// " Power ON", the event loop spinning, or -1.
double replyToScreen(BenchConsole& c) {
    QLabel* line = c.label("Label25");
    c.stopDisplayTimers();
    c.window().link().setLine(tavo::Line::Label25, QString());
    BenchConsole::settle(2);
    QTest::mouseClick(c.button("Command44"), Qt::LeftButton);
    QByteArray sent;
    if (!c.pty.readUntil('\r', 2000, &sent) || sent != "CR0\r")
        return -1;
    BenchConsole::settle(5);
    const Clock::time_point start = Clock::now();
    if (!c.pty.write("00\r"))
        return -1;
    const QString powerOn = QStringLiteral(" Power ON");
    while (line->text() != powerOn) {
        if (Clock::now() - start > std::chrono::seconds(2))
            return -1;
        QCoreApplication::processEvents();
    }
    return microseconds(Clock::now() - start);
}

void reportSeries(const QByteArray& name, const std::vector<double>& us) {
    const Summary s = summarise(us);
    report((name + "_p50_us").constData(), s.p50, 1);
    report((name + "_p99_us").constData(), s.p99, 1);
}

qint64 folderBytes(const QString& folder) {
    qint64 total = 0;
    for (const QFileInfo& file : QDir(folder).entryInfoList(QDir::Files))
        total += file.size();
    return total;
}

int latency(const QString& csvDir, int samples) {
    BenchConsole plain;
    BenchConsole recorded(true);
    if (!plain.pty.isValid() || !recorded.pty.isValid() || !plain.start() || !recorded.start())
        return fail("a console did not open its port on the pseudo-terminal");
    // Alternating sample by sample, so both see the same machine.
    std::vector<double> click[2], reply[2];
    const int warmup = 50;
    for (int i = 0; i < warmup + samples; ++i) {
        for (int k = 0; k < 2; ++k) {
            BenchConsole& c = ((i + k) % 2 == 0) ? plain : recorded;
            const double us = clickToWire(c);
            if (us < 0)
                return fail("a click did not reach the line");
            if (i >= warmup)
                click[&c == &recorded].push_back(us);
        }
    }
    for (int i = 0; i < warmup + samples; ++i) {
        for (int k = 0; k < 2; ++k) {
            BenchConsole& c = ((i + k) % 2 == 0) ? plain : recorded;
            const double us = replyToScreen(c);
            if (us < 0)
                return fail("a reply never reached the status line");
            if (i >= warmup)
                reply[&c == &recorded].push_back(us);
        }
    }
    recorded.traffic()->file()->drain();
    report("traffic_samples", samples, 0);
    reportSeries("traffic_click_plain", click[0]);
    reportSeries("traffic_click_logged", click[1]);
    reportSeries("traffic_reply_plain", reply[0]);
    reportSeries("traffic_reply_logged", reply[1]);
    report("traffic_logged_rows", double(recorded.traffic()->log().endNumber()), 0);
    report("traffic_logged_file_bytes", double(folderBytes(recorded.logFolder())), 0);
    std::vector<QString> rows;
    for (std::size_t i = 0; i < click[0].size(); ++i) {
        rows.push_back(QStringLiteral("%1,%2,%3,%4")
                           .arg(click[0][i], 0, 'f', 1)
                           .arg(click[1][i], 0, 'f', 1)
                           .arg(reply[0][i], 0, 'f', 1)
                           .arg(reply[1][i], 0, 'f', 1));
    }
    writeCsv(QDir(csvDir).filePath(QStringLiteral("traffic-latency.csv")),
             QStringLiteral("click_plain_us,click_logged_us,reply_plain_us,reply_logged_us"), rows);
    return 0;
}

int noiseWithWindowOpen() {
    const int seconds = qEnvironmentVariableIsSet("TAVO_FLOOD_SECONDS")
                            ? qEnvironmentVariableIntValue("TAVO_FLOOD_SECONDS")
                            : 60;
    BenchConsole c(true);
    if (!c.pty.isValid() || !c.start())
        return fail("the console did not open its port on the pseudo-terminal");
    c.traffic()->showWindow();
    if (!QTest::qWaitForWindowExposed(c.traffic()->window()))
        return fail("the Traffic Log window was never shown");
    QRandomGenerator random(19200);
    floodAtLineRate(c, random, 2000, nullptr); // settle allocations before measuring
    c.traffic()->file()->drain();
    const long rssBefore = residentKb(::getpid());
    const qint64 fileBefore = folderBytes(c.logFolder());
    const qint64 rowsBefore = c.traffic()->log().endNumber();
    std::vector<double> clicks;
    const qint64 received = floodAtLineRate(c, random, seconds * 1000, &clicks);
    BenchConsole::settle(1500); // the last row closes
    c.traffic()->file()->drain();
    const long rssAfter = residentKb(::getpid());
    const qint64 fileGrowth = folderBytes(c.logFolder()) - fileBefore;
    const qint64 rows = c.traffic()->log().endNumber() - rowsBefore;
    report("flood_seconds", seconds, 0);
    report("flood_rss_before_kb", rssBefore, 0);
    report("flood_rss_after_kb", rssAfter, 0);
    report("flood_clicks", double(clicks.size()), 0);
    const Summary s = summarise(clicks);
    report("flood_click_p50_us", s.p50, 1);
    report("flood_click_max_us", s.max, 1);
    report("flood_bytes_received", double(received), 0);
    report("flood_rows", double(rows), 0);
    report("flood_file_growth_bytes", double(fileGrowth), 0);
    report("flood_file_overhead_per_row", rows ? double(fileGrowth - received) / rows : 0, 1);
    return clicks.size() >= std::size_t(seconds / 2) ? 0 : fail("clicks did not reach the line");
}

// Rows as a long session leaves them: commands, replies, time-outs and noise.
tavo::TrafficRow sampleRow(int i, qint64 start) {
    tavo::TrafficRow row;
    row.time = start + i * 37;
    row.port = QStringLiteral("COM1 /dev/ttyUSB0");
    switch (i % 4) {
    case 0:
        row.kind = tavo::TrafficKind::Tx;
        row.bytes = "CR0\r";
        break;
    case 1:
        row.kind = tavo::TrafficKind::Rx;
        row.bytes = "00\r";
        row.detail = QStringLiteral("Power ON");
        break;
    case 2:
        row.kind = tavo::TrafficKind::TimeOut;
        break;
    default:
        row.kind = tavo::TrafficKind::Rx;
        row.bytes = QByteArray(tavo::TrafficRow::kByteLimit, char(0xA5));
        row.moreBytes = 200;
    }
    return row;
}

class PaintSeen : public QObject {
public:
    bool seen = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            seen = true;
        return false;
    }
};

int openFullWindow(int runs) {
    tavo::TrafficLog log;
    const qint64 start = QDateTime::currentMSecsSinceEpoch();
    for (int i = 0; i < log.capacity() + 1000; ++i)
        log.append(sampleRow(i, start));
    std::vector<double> opened;
    for (int run = 0; run < runs + 1; ++run) {
        const Clock::time_point begin = Clock::now();
        auto window = std::make_unique<tavo::TrafficLogWindow>(log);
        PaintSeen paint;
        window->table().viewport()->installEventFilter(&paint);
        window->show();
        QElapsedTimer wait;
        wait.start();
        while (!paint.seen && wait.elapsed() < 5000)
            QCoreApplication::processEvents();
        if (!paint.seen)
            return fail("the Traffic Log's rows were never painted");
        if (run > 0)
            opened.push_back(microseconds(Clock::now() - begin));
        window.reset();
        BenchConsole::settle(100);
    }
    const Summary s = summarise(opened);
    report("open_window_rows", log.size(), 0);
    report("open_window_p50_us", s.p50, 1);
    report("open_window_max_us", s.max, 1);
    return 0;
}

} // namespace

int runTrafficBench(const QString& csvDir, int samples) {
    QDir().mkpath(csvDir);
    if (const int failed = latency(csvDir, samples))
        return failed;
    if (const int failed = openFullWindow(5))
        return failed;
    return noiseWithWindowOpen();
}
