#include "PtyConsole.h"

#include "PortDialog.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>

using namespace tavo;

namespace {

// AddressSanitizer holds freed memory in a quarantine, so the resident set
// says nothing about our growth in such a build.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kResidentSetMeaningful = false;
#else
constexpr bool kResidentSetMeaningful = true;
#endif

long residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

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
// second during the flood and records how long its command took to reach
// the peer (the test checks that it arrives; the figures are for the record).
QList<qint64> floodAtLineRate(PseudoTerminal& pty, QRandomGenerator& random, int ms,
                              QPushButton* button = nullptr, const QByteArray& command = {}) {
    QList<qint64> latenciesUs;
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
            QElapsedTimer latency;
            latency.start();
            QTest::mouseClick(button, Qt::LeftButton);
            if (!peerReads(pty, command))
                return {};
            latenciesUs << latency.nsecsElapsed() / 1000;
        }
        QTest::qWait(5);
    }
    return latenciesUs;
}

// The flood's length: short in the suite, a minute for the record.
int floodMs() {
    const int seconds = qEnvironmentVariableIntValue("TAVO_FLOOD_SECONDS");
    return seconds > 0 ? seconds * 1000 : 2500;
}

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

    floodAtLineRate(c.pty, random, 300); // settle allocations before measuring
    const long before = residentKiB();
    auto* on = c.form1.controls().widget<QPushButton>(QStringLiteral("Command17"));
    const QList<qint64> latencies = floodAtLineRate(c.pty, random, floodMs(), on, "C00\r");
    QVERIFY2(!latencies.isEmpty(), "a click during the flood did not reach the line");
    for (int i = 0; i < 64; ++i) { // and a burst at memory speed
        c.pty.write(noise(random, 4096));
        QCoreApplication::processEvents();
    }
    const long after = residentKiB();
    qInfo("flood of %d ms: RSS %ld -> %ld KiB; click-to-line during the flood (us): %s", floodMs(),
          before, after, qPrintable([&] {
              QStringList out;
              for (qint64 us : latencies)
                  out << QString::number(us);
              return out.join(QLatin1Char(' '));
          }()));
    if (kResidentSetMeaningful)
        QVERIFY2(after - before < 1024,
                 qPrintable(QStringLiteral("RSS grew by %1 KiB").arg(after - before)));
    QVERIFY(c.form1.link().state().ReceiveBuffer.size() <= ProjectorLink::kReceiveBufferLimit);
    QVERIFY(c.label("Label12")->text().size() <= 1 + 7 * ProjectorLink::kReceiveBufferLimit);

    // Once the noise stops, a real reply decodes.
    QTest::qWait(300);
    c.pty.readAvailable();
    QTest::mouseClick(c.form1.controls().widget<QPushButton>(QStringLiteral("Command44")),
                      Qt::LeftButton);
    QVERIFY(peerReads(c.pty, "CR0\r"));
    c.pty.write("00\r");
    QTRY_COMPARE_WITH_TIMEOUT(c.label("Label25")->text(), QStringLiteral(" Power ON"), 5000);
}

void TestLineFaults::noiseDuringAHold() {
    PtyConsole c;
    c.form1.setQuit([] {});
    c.form1.load();
    QRandomGenerator random(7300);
    auto* zoomUp = c.form1.controls().widget<QPushButton>(QStringLiteral("Command30"));
    const long before = residentKiB();
    QByteArray sent;
    QTest::mousePress(zoomUp, Qt::LeftButton);
    const int ms = qMin(floodMs(), 60000);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        floodAtLineRate(c.pty, random, 500);
        sent += c.pty.readAvailable();
    }
    QTest::mouseRelease(zoomUp, Qt::LeftButton);
    sent += c.pty.readAvailable();
    const long after = residentKiB();
    qInfo("hold during a flood of %d ms: %lld repeats, RSS %ld -> %ld KiB", ms,
          static_cast<long long>(sent.count("C47\r")), before, after);
    // About ten repeats a second; the flood must not have starved them.
    QVERIFY2(sent.count("C47\r") >= ms / 200, sent.left(64).constData());
    QCOMPARE(sent.count("C47\r") * 4, sent.size());
    if (kResidentSetMeaningful)
        QVERIFY2(after - before < 1024,
                 qPrintable(QStringLiteral("RSS grew by %1 KiB").arg(after - before)));
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

QTEST_MAIN(TestLineFaults)
#include "tst_line_faults.moc"
