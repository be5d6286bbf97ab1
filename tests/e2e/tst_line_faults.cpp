#include "PtyConsole.h"

#include "PortDialog.h"
#include "TestClasses.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>

using namespace tavo;

namespace {

QByteArray noise(QRandomGenerator& random, int size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes)
        c = char(random.bounded(256));
    return bytes;
}

// Reads from the peer until `expected` has arrived or five seconds pass.
bool peerReads(PseudoTerminal& pty, const QByteArray& expected) {
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 5000) {
        got += pty.readAvailable();
        if (got.contains(expected))
            return true;
        QTest::qWait(2);
    }
    qWarning() << "peer read" << got.left(64);
    return false;
}

// Writes noise at the line rate of 19200 baud (1920 bytes a second) for
// `ms`, letting the console run meanwhile. With `button`, clicks it once a
// second during the flood; false when its command did not reach the peer.
// (Memory and click times under a long flood: mx7300-bench noise.)
bool floodAtLineRate(PseudoTerminal& pty, QRandomGenerator& random, int ms,
                     QPushButton* button = nullptr, const QByteArray& command = {}) {
    QElapsedTimer clock;
    clock.start();
    qint64 written = 0;
    qint64 nextClick = 500;
    while (clock.elapsed() < ms) {
        const qint64 due = clock.elapsed() * 1920 / 1000;
        if (due > written) {
            pty.write(noise(random, int(due - written)));
            written = due;
        }
        if (button && clock.elapsed() >= nextClick) {
            nextClick += 1000;
            pty.readAvailable();
            QTest::mouseClick(button, Qt::LeftButton);
            if (!peerReads(pty, command))
                return false;
        }
        QTest::qWait(5);
    }
    return true;
}

constexpr int kFloodMs = 2500;

} // namespace

class TestLineFaults : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void noiseLeavesTheConsoleWorking();
    void noiseDuringAHold();
    void unplugAndReplugTwentyTimes();
    void aSecondConsoleCannotShareThePort();
};

void TestLineFaults::noiseLeavesTheConsoleWorking() {
    PtyConsole c;
    c.form1.setQuit([] {});
    c.form1.load();
    QVERIFY(c.port.portOpen());
    QRandomGenerator random(19200);

    auto* on = c.form1.controls().widget<QPushButton>(QStringLiteral("Command17"));
    QVERIFY2(floodAtLineRate(c.pty, random, kFloodMs, on, "C00\r"),
             "a click during the flood did not reach the line");
    for (int i = 0; i < 64; ++i) { // and a burst at memory speed
        c.pty.write(noise(random, 4096));
        QCoreApplication::processEvents();
    }
    QVERIFY(c.form1.link().state().ReceiveBuffer.size() <= ProjectorLink::kReceiveBufferLimit);
    QVERIFY(c.label("Label12")->text().size() <= 1 + 7 * ProjectorLink::kReceiveBufferLimit);

    // Once the noise stops, a real reply decodes. Noise still on its way through the
    // pseudo-terminal when it stopped may spoil the first attempts.
    auto* status = c.form1.controls().widget<QPushButton>(QStringLiteral("Command44"));
    const auto statusReplyDecodes = [&] {
        c.pty.readAvailable();
        QTest::mouseClick(status, Qt::LeftButton);
        if (!peerReads(c.pty, "CR0\r") || !c.pty.write("00\r"))
            return false;
        return QTest::qWaitFor(
            [&] { return c.label("Label25")->text() == QLatin1String(" Power ON"); }, 500);
    };
    QDeadlineTimer deadline(10000);
    bool decoded = false;
    while (!decoded && !deadline.hasExpired())
        decoded = statusReplyDecodes();
    QVERIFY(decoded);
}

// The repeats go on through the flood, and nothing but them reaches the line.
void TestLineFaults::noiseDuringAHold() {
    PtyConsole c;
    c.form1.setQuit([] {});
    c.form1.load();
    QRandomGenerator random(7300);
    auto* zoomUp = c.form1.controls().widget<QPushButton>(QStringLiteral("Command30"));
    QByteArray sent;
    QTest::mousePress(zoomUp, Qt::LeftButton);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kFloodMs || sent.count("C47\r") < 3) {
        QVERIFY2(clock.elapsed() < 60000, sent.left(64).constData());
        floodAtLineRate(c.pty, random, 500);
        sent += c.pty.readAvailable();
    }
    QTest::mouseRelease(zoomUp, Qt::LeftButton);
    sent += c.pty.readAvailable();
    QCOMPARE(sent.count("C47\r") * 4, sent.size());
}

void TestLineFaults::unplugAndReplugTwentyTimes() {
    PtyConsole c;
    int warnings = 0;
    QPointer<PortDialog> dialog;
    c.form1.setQuit([] {});
    c.form1.setPortDialogOpener([&](bool) {
        dialog = new PortDialog(
            c.port, c.store, c.globals, [&](int n) { return deviceForPort(n, c.store.path()); },
            [&] { c.form1.show(); });
        dialog->setWarningPresenter([&](QWidget*) { ++warnings; });
        dialog->show();
    });
    c.form1.load();
    QVERIFY(c.port.portOpen());
    auto* com = c.form1.controls().widget<QPushButton>(QStringLiteral("Command33"));
    auto* status = c.form1.controls().widget<QPushButton>(QStringLiteral("Command44"));
    auto* on = c.form1.controls().widget<QPushButton>(QStringLiteral("Command17"));

    std::unique_ptr<PseudoTerminal> line = std::make_unique<PseudoTerminal>();
    QSettings ini(c.store.path(), QSettings::IniFormat);
    PseudoTerminal* current = &c.pty;
    for (int cycle = 0; cycle < 20; ++cycle) {
        // Working link: a status read round trip.
        QTest::mouseClick(status, Qt::LeftButton);
        QVERIFY(peerReads(*current, "CR0\r"));
        current->write("00\r");
        QTRY_COMPARE_WITH_TIMEOUT(c.label("Label25")->text(), QStringLiteral(" Power ON"), 5000);

        // Pulled cable: the device disappears.
        current->closeSlave();
        current->closeMaster();
        QTRY_VERIFY_WITH_TIMEOUT(!c.port.portOpen(), 5000);
        QCOMPARE(c.label("Label12")->text(), ProjectorLink::linkLostNotice());
        QTest::mouseClick(on, Qt::LeftButton); // delivers nothing, crashes nothing
        QCOMPARE(c.label("Label12")->text(), ProjectorLink::notSentNotice());

        // The adapter comes back (as a new device node), "COM" then OK.
        line = std::make_unique<PseudoTerminal>();
        current = line.get();
        ini.setValue(QStringLiteral("Ports/COM1"), current->slavePath());
        ini.sync();
        QTest::mouseClick(com, Qt::LeftButton);
        QVERIFY(dialog);
        QTest::mouseClick(dialog->controls().widget<QPushButton>(QStringLiteral("Command1")),
                          Qt::LeftButton);
        QVERIFY2(c.port.portOpen(), qPrintable(QStringLiteral("cycle %1").arg(cycle)));
        QTRY_VERIFY(!dialog);
    }
    QCOMPARE(warnings, 0);
}

void TestLineFaults::aSecondConsoleCannotShareThePort() {
    PtyConsole first;
    first.form1.setQuit([] {});
    first.form1.load();
    QVERIFY(first.port.portOpen());

    // A second console on the same settings: its start-up open fails, so it
    // offers the dialog, whose OK answers "Retry Comport".
    Globals globals;
    IniSettingsStore store;
    QtSerialPort port([&](int n) { return deviceForPort(n, store.path()); });
    int warnings = 0;
    port.setSettings(settingsForBaudCode(96));
    QVERIFY(port.setCommPort(1));
    QVERIFY(!port.setPortOpen(true));
    globals.PortNumber = 1;
    globals.BaudCode = 96;
    auto* dialog = new PortDialog(
        port, store, globals, [&](int n) { return deviceForPort(n, store.path()); }, [] {});
    dialog->setWarningPresenter([&](QWidget*) { ++warnings; });
    QTest::mouseClick(dialog->controls().widget<QPushButton>(QStringLiteral("Command1")),
                      Qt::LeftButton);
    QCOMPARE(warnings, 1);
    QVERIFY(!port.portOpen());
    delete dialog;

    // The first console still owns the line.
    QTest::mouseClick(first.form1.controls().widget<QPushButton>(QStringLiteral("Command17")),
                      Qt::LeftButton);
    QVERIFY(peerReads(first.pty, "C00\r"));
}

TAVO_TEST_CLASS(TestLineFaults)
#include "tst_line_faults.moc"
