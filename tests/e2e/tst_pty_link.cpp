#include "EventLoopPasses.h"
#include "PtyConsole.h"
#include "TestClasses.h"

#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace tavo;
using tavo::test::runEventLoopPasses;

class TestPtyLink : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void statusReadOverARealLine();
    void bytesBeforeTheOpenAreDropped();
    void openFailsLikeAMissingPort_data();
    void openFailsLikeAMissingPort();
    void heldDevicesAreRefused_data();
    void heldDevicesAreRefused();
    void hangUpEndsTheLinkOnce();
    void aFullLineKeepsTheOrder();
};

void TestPtyLink::statusReadOverARealLine() {
    PtyConsole c;
    QVERIFY(c.pty.isValid());
    c.form1.setQuit([] {});
    c.form1.load();
    QVERIFY(c.port.portOpen());
    QCOMPARE(c.port.deviceName(), c.pty.slavePath());

    auto* status = c.form1.controls().widget<QPushButton>(QStringLiteral("Command44"));
    QVERIFY(status);
    QTest::mouseClick(status, Qt::LeftButton);

    QByteArray sent;
    QTRY_VERIFY_WITH_TIMEOUT((sent += c.pty.readAvailable()).size() >= 4, 5000);
    QCOMPARE(sent, QByteArray("CR0\r"));

    QVERIFY(c.pty.write("00\r"));
    QTRY_COMPARE_WITH_TIMEOUT(c.label("Label25")->text(), QStringLiteral(" Power ON"), 5000);
    QCOMPARE(c.label("Label12")->text(), QStringLiteral(" 0 0  [CR] "));
    QCOMPARE(c.label("Label11")->text(), QStringLiteral(" C R 0  [CR] "));

    c.form1.close(); // stores the address, closes the port
    QVERIFY(!c.port.portOpen());
}

void TestPtyLink::bytesBeforeTheOpenAreDropped() {
    PtyConsole c;
    c.form1.setQuit([] {});
    QVERIFY(c.pty.write("stale noise"));
    c.form1.load();
    QVERIFY(c.port.portOpen());
    QVERIFY(c.pty.write("\x06"));
    QTRY_COMPARE_WITH_TIMEOUT(c.label("Label12")->text(), QStringLiteral("  [ACK] "), 5000);
}

void TestPtyLink::openFailsLikeAMissingPort_data() {
    QTest::addColumn<QString>("device");
    QTest::newRow("no such device") << QStringLiteral("/dev/tty-no-such-device");
    QTest::newRow("regular file") << QStringLiteral("/etc/hostname");
    QTest::newRow("directory") << QStringLiteral("/tmp");
    QTest::newRow("not a terminal") << QStringLiteral("/dev/null");
}

void TestPtyLink::openFailsLikeAMissingPort() {
    QFETCH(QString, device);
    QtSerialPort port([device](int) { return device; });
    port.setSettings(QStringLiteral("9600,N,8,1"));
    QVERIFY(port.setCommPort(1));
    QVERIFY(!port.setPortOpen(true));
    QVERIFY(!port.portOpen());
    QVERIFY(!port.output("C00\r"));
}

namespace {
enum class Holder { None, AnotherConsole, FlockHolder, SessionTerminal, OwnTerminal };

// True when another open of `device` could take flock(LOCK_EX) now.
bool flockFree(const QString& device) {
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}
} // namespace

void TestPtyLink::heldDevicesAreRefused_data() {
    QTest::addColumn<int>("holder");
    QTest::addColumn<QString>("reason"); // %1: the holder's PID; empty: the port opens
    QTest::newRow("free; the peer keeps the slave open, as the simulator does")
        << int(Holder::None) << QString();
    QTest::newRow("another copy of the console (lock file)")
        << int(Holder::AnotherConsole) << QStringLiteral("*");
    QTest::newRow("held with flock")
        << int(Holder::FlockHolder)
        << QStringLiteral("In use by another program (flock held by PID %1, flock)");
    QTest::newRow("a shell's controlling terminal")
        << int(Holder::SessionTerminal)
        << QStringLiteral("In use as the terminal of a session (PID %1, sleep)");
    QTest::newRow("/dev/tty") << int(Holder::OwnTerminal)
                              << QStringLiteral("/dev/tty is the terminal of this program's own "
                                                "session");
}

// Each way another program signals use of a device is honoured; the reason
// names the holder so the operator knows whom to ask.
void TestPtyLink::heldDevicesAreRefused() {
    QFETCH(int, holder);
    QFETCH(QString, reason);
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    const QString device =
        Holder(holder) == Holder::OwnTerminal ? QStringLiteral("/dev/tty") : pty.slavePath();
    QtSerialPort port([&](int) { return device; });

    QtSerialPort otherConsole([&](int) { return device; });
    QProcess other;
    auto start = [&](const QString& program, const QStringList& arguments) {
        if (QStandardPaths::findExecutable(program).isEmpty())
            QSKIP(qPrintable(program + QStringLiteral(" is not installed (util-linux)")));
        other.start(program, arguments);
        QVERIFY(other.waitForStarted(10000));
    };
    switch (Holder(holder)) {
    case Holder::AnotherConsole:
        QVERIFY(otherConsole.setPortOpen(true));
        break;
    case Holder::FlockHolder:
        // -o: the lock stays with flock itself, not with the command it runs.
        start(QStringLiteral("flock"), {QStringLiteral("-x"), QStringLiteral("-o"), device,
                                        QStringLiteral("sleep"), QStringLiteral("60")});
        QTRY_VERIFY_WITH_TIMEOUT(!flockFree(device), 10000);
        break;
    case Holder::SessionTerminal:
        // A new session whose leader opens the terminal: it becomes its
        // controlling terminal, as a login shell's does.
        start(QStringLiteral("setsid"), {QStringLiteral("sh"), QStringLiteral("-c"),
                                         QStringLiteral("exec sleep 60 <") + device});
        break;
    default:
        break;
    }

    if (reason.isEmpty()) {
        QVERIFY2(port.setPortOpen(true), qPrintable(port.openError()));
        QVERIFY(!flockFree(device)); // held the way other programs look for
        int exclusive = 0;
        QVERIFY(::ioctl(pty.slaveFd(), TIOCGEXCL, &exclusive) == 0);
        QCOMPARE(exclusive, 1);
        port.setPortOpen(false);
        QVERIFY(flockFree(device));
        return;
    }
    // The session's shell takes its terminal a moment after it starts.
    auto refused = [&] {
        if (!port.setPortOpen(true))
            return true;
        port.setPortOpen(false);
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(refused(), 10000);
    QVERIFY(!port.portOpen());
    if (reason.contains(QLatin1String("%1")))
        QCOMPARE(port.openError(), reason.arg(other.processId()));
    else if (reason != QLatin1String("*"))
        QCOMPARE(port.openError(), reason);
    QVERIFY(!port.openError().isEmpty());

    // Once the holder lets go the port opens.
    otherConsole.setPortOpen(false);
    other.kill();
    other.waitForFinished(10000);
    if (Holder(holder) != Holder::OwnTerminal)
        QTRY_VERIFY_WITH_TIMEOUT(!refused(), 10000);
}

void TestPtyLink::hangUpEndsTheLinkOnce() {
    PtyConsole c;
    c.form1.setQuit([] {});
    c.form1.load();
    QVERIFY(c.port.portOpen());
    int events = 0;
    c.port.setOnComm([&] {
        ++events;
        c.form1.link().MSComm1_OnComm();
    });
    c.pty.closeSlave();
    c.pty.closeMaster();
    QTRY_VERIFY_WITH_TIMEOUT(!c.port.portOpen(), 5000);
    QCOMPARE(c.label("Label12")->text(), ProjectorLink::linkLostNotice());
    runEventLoopPasses(50); // an error storm would show up as more events here
    QCOMPARE(events, 1);
}

// Commands go to the driver directly while nothing waits in Qt's buffer; once the line is full
// the rest must queue behind, and nothing may overtake what waits.
void TestPtyLink::aFullLineKeepsTheOrder() {
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    QtSerialPort port([&pty](int) { return pty.slavePath(); });
    QVERIFY(port.setCommPort(1));
    QVERIFY(port.setPortOpen(true));
    pty.closeSlave();

    QByteArray expected;
    for (int i = 0; i < 400; ++i) {
        const QByteArray command = QByteArray::number(i).rightJustified(1000, 'x') + '\r';
        QVERIFY2(port.output(command), qPrintable(QString::number(i)));
        expected += command;
    }
    QByteArray received;
    QTRY_VERIFY_WITH_TIMEOUT((received += pty.readAvailable()).size() >= expected.size(), 10000);
    QCOMPARE(received.size(), expected.size());
    QVERIFY(received == expected);
}

TAVO_TEST_CLASS(TestPtyLink)
#include "tst_pty_link.moc"
