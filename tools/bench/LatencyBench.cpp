#include "LatencyBench.h"

#include "BenchConsole.h"
#include "Stats.h"

#include "EarlyClickButton.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

using Clock = std::chrono::steady_clock;

double microseconds(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

bool fail(const char* what) {
    std::fprintf(stderr, "mx7300-bench: %s\n", what);
    return false;
}

// Runs the event loop, asleep between events, until `done` holds.
bool waitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    QTimer wake; // a sleeping loop must come back to look at the clock
    wake.start(5);
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Timestamps the first paint of one widget after it is armed.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget* widget) { widget->installEventFilter(this); }
    void arm() { m_painted = false; }
    bool painted() const { return m_painted; }
    qint64 paintedAtNs() const { return m_at; }
    QElapsedTimer clock;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !m_painted) {
            m_painted = true;
            m_at = clock.nsecsElapsed();
        }
        return false;
    }

private:
    bool m_painted = true;
    qint64 m_at = 0;
};

// The projector acknowledges and the console shows it, so each click starts from the same state.
bool acknowledge(BenchConsole& c) {
    QLabel* rxd = c.label("Label12");
    if (!c.pty.write("\x06"))
        return fail("cannot write to the pseudo-terminal");
    return waitFor([rxd] { return rxd->text().contains(QLatin1String("[ACK]")); }, 2000) ||
           fail("the ACK never reached the RxD line");
}

struct ClickSeries {
    std::vector<double> wire;    // click start to readable at the peer
    std::vector<double> press;   // the press event's handling
    std::vector<double> release; // the release event's handling: the click handler and the write
    std::vector<double> handler; // the release event to the end of the window's handler (written)
    std::vector<double> fromRelease; // the release event to readable: what a person notices
    std::vector<double> floor;       // write(2) on the console's side to readable at the peer
    std::vector<double> repaint;     // one synchronous repaint of the button, as a plain one makes
};

// Spins on poll() until the peer's side is readable. With `sleep` it waits in poll() instead,
// leaving the core to a daemon (ser2net) that must run before anything is readable.
bool spinUntilReadable(int fd, Clock::time_point since, bool sleep = false) {
    pollfd pfd{fd, POLLIN, 0};
    while (::poll(&pfd, 1, sleep ? 2000 : 0) == 0) {
        if (Clock::now() - since > std::chrono::seconds(2))
            return false;
    }
    return true;
}

// `button` sends `frame`; "On" unless said otherwise.
bool clickToWire(BenchConsole& c, int rounds, int warmup, ClickSeries* out, bool sleep = false,
                 const char* button = "Command17", const QByteArray& frame = "C00\r") {
    auto* on = qobject_cast<tavo::EarlyClickButton*>(c.button(button));
    if (!on)
        return fail("the button is not one that reports its click early");
    const int fd = c.pty.masterFd();
    // A slot connected now runs right after the window's, which writes, and before the button
    // repaints its release. It marks the end of the window's handler and waits there for the
    // bytes at the peer: looking only after the release event has been handled would add the
    // repaint to every figure.
    Clock::time_point handledAt, readableAt;
    bool seen = false;
    QObject mark; // ends the connection with this function
    QObject::connect(on, &tavo::EarlyClickButton::earlyClicked, &mark, [&, fd, sleep] {
        handledAt = Clock::now();
        seen = spinUntilReadable(fd, handledAt, sleep);
        readableAt = Clock::now();
    });
    for (int i = 0; i < warmup + rounds; ++i) {
        c.stopDisplayTimers();
        seen = false;
        const Clock::time_point start = Clock::now();
        QTest::mousePress(on, Qt::LeftButton);
        const Clock::time_point pressed = Clock::now();
        QTest::mouseRelease(on, Qt::LeftButton);
        const Clock::time_point released = Clock::now();
        if (!seen)
            return fail("the click put nothing on the line");
        const Clock::time_point readable = readableAt;
        QByteArray sent;
        if (!c.pty.readUntil('\r', 2000, &sent) || sent != frame)
            return fail("the click did not send its command");
        if (i >= warmup) {
            out->wire.push_back(microseconds(readable - start));
            out->press.push_back(microseconds(pressed - start));
            out->release.push_back(microseconds(released - pressed));
            out->handler.push_back(microseconds(handledAt - pressed));
            out->fromRelease.push_back(microseconds(readable - pressed));
        }
        if (!acknowledge(c))
            return false;
        BenchConsole::settle(2);
    }
    // A plain QAbstractButton repaints itself synchronously at the press and again at the
    // release: what one of those costs on this platform.
    for (int i = 0; i < warmup + rounds; ++i) {
        const Clock::time_point start = Clock::now();
        on->repaint();
        if (i >= warmup)
            out->repaint.push_back(microseconds(Clock::now() - start));
        BenchConsole::settle(2);
    }
    // The same four bytes written straight to the device: what the kernel alone takes.
    for (int i = 0; i < warmup + rounds; ++i) {
        const Clock::time_point start = Clock::now();
        if (::write(c.pty.slaveFd(), "C00\r", 4) != 4 || !spinUntilReadable(fd, start))
            return fail("the pseudo-terminal did not pass four bytes");
        const Clock::time_point readable = Clock::now();
        c.pty.readAvailable();
        if (i >= warmup)
            out->floor.push_back(microseconds(readable - start));
        BenchConsole::settle(2);
    }
    return true;
}

// `asleep`: the loop sleeps in the event dispatcher until the reply wakes it, as an idle program
// does; otherwise it spins, which leaves out the wake-up.
bool replyToScreen(BenchConsole& c, int rounds, int warmup, bool asleep, std::vector<double>* out,
                   std::vector<double>* painted) {
    QPushButton* status = c.button("Command44");
    QLabel* line = c.label("Label25");
    const QString powerOn = QStringLiteral(" Power ON");
    PaintWatch watch(line);
    QTimer wake; // a reply that never comes must not leave the sleeping loop waiting for ever
    wake.start(100);
    for (int i = 0; i < warmup + rounds; ++i) {
        c.stopDisplayTimers();
        c.window().link().setLine(tavo::Line::Label25, QString());
        BenchConsole::settle(2);
        QTest::mouseClick(status, Qt::LeftButton);
        QByteArray sent;
        if (!c.pty.readUntil('\r', 2000, &sent) || sent != "CR0\r")
            return fail("\"STATUS\" did not send CR0 CR");
        // A projector at 9600 baud answers some milliseconds later; the click's repaint is done.
        BenchConsole::settle(5);
        watch.arm();
        watch.clock.start();
        if (!c.pty.write("00\r"))
            return fail("cannot write to the pseudo-terminal");
        while (line->text() != powerOn) {
            if (watch.clock.elapsed() > 2000)
                return fail("the status line never read \" Power ON\"");
            QCoreApplication::processEvents(asleep ? QEventLoop::WaitForMoreEvents
                                                   : QEventLoop::AllEvents);
        }
        const qint64 shown = watch.clock.nsecsElapsed();
        // Platforms without a screen (offscreen) may never paint: that series stays empty.
        const bool repainted = waitFor([&watch] { return watch.painted(); }, 200);
        if (i >= warmup) {
            out->push_back(double(shown) / 1000.0);
            painted->push_back(repainted ? double(watch.paintedAtNs()) / 1000.0 : std::nan(""));
        }
    }
    return true;
}

void reportSeries(const char* name, const std::vector<double>& us) {
    const Summary s = summarise(us);
    const QByteArray base(name);
    report((base + "_count").constData(), s.count, 0);
    report((base + "_p50_us").constData(), s.p50, 1);
    report((base + "_p99_us").constData(), s.p99, 1);
    report((base + "_max_us").constData(), s.max, 1);
}

// A raw client of the share: `frame` sent (send(2) returned: its last byte written) until its
// first byte is readable at the projector's end; the projector then acknowledges and the client
// reads the ACK, so every round starts on an idle line.
bool shareWriteToWire(GatewayShare& share, PseudoTerminal& projector, int rounds, int warmup,
                      std::vector<double>* out) {
    const QByteArray frame("C1E\r");
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(share.port());
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 ||
              fail("cannot connect to the share");
    for (int i = 0; ok && i < warmup + rounds; ++i) {
        if (::send(fd, frame.constData(), frame.size(), 0) != frame.size())
            return fail("the share took less than the whole command");
        const Clock::time_point written = Clock::now();
        if (!spinUntilReadable(projector.masterFd(), written, true))
            return fail("nothing reached the line through the share");
        const Clock::time_point readable = Clock::now();
        QByteArray sent;
        ok = (projector.readUntil('\r', 2000, &sent) && sent == frame) ||
             fail("the line did not get the client's command whole");
        char ack = 0;
        ok = ok && projector.write("\x06") && spinUntilReadable(fd, readable, true) &&
             ::recv(fd, &ack, 1, 0) == 1 && ack == '\x06';
        if (!ok)
            fail("the client did not get the projector's ACK");
        else if (i >= warmup)
            out->push_back(microseconds(readable - written));
        BenchConsole::settle(2);
    }
    ::close(fd);
    return ok;
}

} // namespace

int runLatencyBench(const QString& csvDir, int samples, int warmup) {
    BenchConsole c;
    if (!c.pty.isValid() || !c.start()) {
        fail("the console did not open its port on the pseudo-terminal");
        return 1;
    }
    QDir().mkpath(csvDir);
    const QDir dir(csvDir);

    ClickSeries click;
    if (!clickToWire(c, samples, warmup, &click))
        return 1;
    reportSeries("click_to_wire", click.wire);
    reportSeries("click_press", click.press);
    reportSeries("click_release", click.release);
    reportSeries("click_handler", click.handler);
    reportSeries("release_to_wire", click.fromRelease);
    reportSeries("pty_floor", click.floor);
    reportSeries("button_repaint", click.repaint);
    std::vector<QString> clickRows;
    for (std::size_t i = 0; i < click.wire.size(); ++i) {
        clickRows.push_back(QStringLiteral("%1,%2,%3,%4,%5,%6,%7")
                                .arg(click.wire[i], 0, 'f', 1)
                                .arg(click.fromRelease[i], 0, 'f', 1)
                                .arg(click.press[i], 0, 'f', 1)
                                .arg(click.release[i], 0, 'f', 1)
                                .arg(click.handler[i], 0, 'f', 1)
                                .arg(click.repaint[i], 0, 'f', 1)
                                .arg(click.floor[i], 0, 'f', 1));
    }
    const QString clickHeader = QStringLiteral("wire_us,release_to_wire_us,press_us,release_us,") +
                                QStringLiteral("handler_us,button_repaint_us,pty_floor_us");
    writeCsv(dir.filePath(QStringLiteral("click-to-wire.csv")), clickHeader, clickRows);

    std::vector<double> shown, painted, shownAsleep, paintedAsleep;
    if (!replyToScreen(c, samples, warmup, false, &shown, &painted) ||
        !replyToScreen(c, samples, warmup, true, &shownAsleep, &paintedAsleep))
        return 1;
    reportSeries("reply_to_screen", shown);
    reportSeries("reply_to_paint", painted);
    reportSeries("reply_to_screen_asleep", shownAsleep);
    reportSeries("reply_to_paint_asleep", paintedAsleep);
    std::vector<QString> rows;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        rows.push_back(QStringLiteral("%1,%2,%3,%4")
                           .arg(shown[i], 0, 'f', 1)
                           .arg(painted[i], 0, 'f', 1)
                           .arg(shownAsleep[i], 0, 'f', 1)
                           .arg(paintedAsleep[i], 0, 'f', 1));
    }
    writeCsv(dir.filePath(QStringLiteral("reply-to-screen.csv")),
             QStringLiteral("text_us,paint_us,text_asleep_us,paint_asleep_us"), rows);
    return 0;
}

int runNetworkLatencyBench(const QString& csvDir, int samples, int warmup) {
    QDir().mkpath(csvDir);
    const QDir dir(csvDir);
    const struct {
        BenchConsole::Route route;
        bool charDelay;
        const char* name;
    } routes[] = {{BenchConsole::Route::RawTcp, false, "tcp"},
                  {BenchConsole::Route::Rfc2217, false, "rfc2217"},
                  {BenchConsole::Route::RawTcp, true, "tcp_chardelay"}};
    for (const auto& r : routes) {
        BenchConsole c(r.route, r.charDelay);
        if (!c.pty.isValid() || !c.start()) {
            fail("the console did not open its network port through ser2net");
            return 1;
        }
        ClickSeries click;
        std::vector<double> shown, painted;
        if (!clickToWire(c, samples, warmup, &click, true) ||
            !replyToScreen(c, samples, warmup, true, &shown, &painted))
            return 1;
        const QByteArray base = QByteArray("net_") + r.name;
        reportSeries((base + "_click_to_wire").constData(), click.wire);
        reportSeries((base + "_reply_to_screen").constData(), shown);
        std::vector<QString> rows;
        for (std::size_t i = 0; i < click.wire.size() && i < shown.size(); ++i)
            rows.push_back(
                QStringLiteral("%1,%2").arg(click.wire[i], 0, 'f', 1).arg(shown[i], 0, 'f', 1));
        writeCsv(dir.filePath(QStringLiteral("network-%1.csv").arg(QLatin1String(r.name))),
                 QStringLiteral("click_to_wire_us,reply_to_screen_asleep_us"), rows);
    }
    return 0;
}

int runShareLatencyBench(const QString& csvDir, const QString& gateway, int samples, int warmup) {
    QDir().mkpath(csvDir);
    const QDir dir(csvDir);
    // A one-shot button whose command leaves the polled state alone: after "On" the gateway would
    // read the projector again, and this series is about the command alone.
    const char* button = "Command3";
    const QByteArray frame("C1E\r");
    std::vector<double> written;
    ClickSeries viaShare, viaServer;
    {
        BenchConsole c(BenchConsole::Route::Share, false, false, gateway);
        if (!c.pty.isValid() || !c.start()) {
            fail("the console did not open the gateway's share");
            return 1;
        }
        if (!clickToWire(c, samples, warmup, &viaShare, true, button, frame))
            return 1;
    }
    {
        // The client alone, without the console: a gateway of its own on a fresh line.
        PseudoTerminal projector;
        GatewayShare share(gateway);
        QString error;
        if (!projector.isValid() || !share.start(projector, &error)) {
            std::fprintf(stderr, "mx7300-bench: %s\n", qPrintable(error));
            return 1;
        }
        if (!shareWriteToWire(share, projector, samples, warmup, &written))
            return 1;
    }
    {
        BenchConsole c(BenchConsole::Route::RawTcp, false);
        if (!c.pty.isValid() || !c.start()) {
            fail("the console did not open its network port through ser2net");
            return 1;
        }
        if (!clickToWire(c, samples, warmup, &viaServer, true, button, frame))
            return 1;
    }
    reportSeries("share_write_to_wire", written);
    reportSeries("share_click_to_wire", viaShare.wire);
    reportSeries("share_tcp_click_to_wire", viaServer.wire);
    std::vector<QString> rows;
    for (std::size_t i = 0; i < written.size(); ++i)
        rows.push_back(
            QStringLiteral("%1,%2,%3")
                .arg(written[i], 0, 'f', 1)
                .arg(i < viaShare.wire.size() ? viaShare.wire[i] : std::nan(""), 0, 'f', 1)
                .arg(i < viaServer.wire.size() ? viaServer.wire[i] : std::nan(""), 0, 'f', 1));
    writeCsv(dir.filePath(QStringLiteral("share.csv")),
             QStringLiteral("write_to_wire_us,share_click_to_wire_us,tcp_click_to_wire_us"), rows);
    return 0;
}
