#include "SimRig.h"
#include "TestClasses.h"
#include "sim/SimOptions.h"

#include <QTest>

using tavo::sim::parseOptions;
using tavo::sim::runControlCommand;

// The command line and the control lines typed on standard input.
class TestSimControl : public QObject {
    Q_OBJECT
private slots:
    void options_data();
    void options();
    void startupFaults();
    void controlLines_data();
    void controlLines();
};

void TestSimControl::options_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<int>("registerPort");
    QTest::addColumn<int>("baud");

    QTest::newRow("defaults") << QStringList{} << true << QByteArray("001") << 0 << 19200;
    QTest::newRow("register 9") << QStringList{"--register", "9"} << true << QByteArray("001") << 9
                                << 19200;
    QTest::newRow("register 16") << QStringList{"--register", "16"} << false << QByteArray() << 0
                                 << 0;
    QTest::newRow("register 0") << QStringList{"--register", "0"} << false << QByteArray() << 0
                                << 0;
    QTest::newRow("address padded")
        << QStringList{"--address", "2"} << true << QByteArray("002") << 0 << 19200;
    QTest::newRow("address 0") << QStringList{"--address", "0"} << false << QByteArray() << 0 << 0;
    QTest::newRow("baud 9600") << QStringList{"--baud", "9600"} << true << QByteArray("001") << 0
                               << 9600;
    QTest::newRow("baud 4800") << QStringList{"--baud", "4800"} << false << QByteArray() << 0 << 0;
    QTest::newRow("time scale 0") << QStringList{"--time-scale", "0"} << false << QByteArray() << 0
                                  << 0;
    QTest::newRow("warm-up not a number")
        << QStringList{"--warmup", "soon"} << false << QByteArray() << 0 << 0;
    QTest::newRow("stray argument") << QStringList{"COM9"} << false << QByteArray() << 0 << 0;
    QTest::newRow("unknown option") << QStringList{"--fast"} << false << QByteArray() << 0 << 0;
}

void TestSimControl::options() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, accepted);
    QFETCH(QByteArray, address);
    QFETCH(int, registerPort);
    QFETCH(int, baud);
    const auto parsed = parseOptions(QStringList{QStringLiteral("mx7300-sim")} + arguments);
    QCOMPARE(parsed.config.has_value(), accepted);
    QVERIFY(!parsed.help);
    if (!accepted) {
        QVERIFY(!parsed.message.isEmpty());
        return;
    }
    QCOMPARE(parsed.config->sim.address, address);
    QCOMPARE(parsed.config->registerPort, registerPort);
    QCOMPARE(parsed.config->sim.lineBaud, baud);
}

void TestSimControl::startupFaults() {
    const auto parsed = parseOptions(
        {"mx7300-sim", "--slow", "200", "--lamp-failure", "--warmup", "5", "--lamp-hours", "42"});
    QVERIFY2(parsed.config, qPrintable(parsed.message));
    FakeClock clock;
    tavo::sim::Simulator sim(clock, parsed.config->sim);
    tavo::sim::applyStartupFaults(sim, *parsed.config);
    sim.receive("C00\rCR3\r", 19200);
    clock.advance(5000);
    sim.receive("CR0\r", 19200);
    clock.advance(600);
    QCOMPARE(sim.takeOutput(), kAckReply + "00042\r" + "21\r");

    const auto help = parseOptions({"mx7300-sim", "--help"});
    QVERIFY(help.help);
    for (const char* mentioned : {"--register", "fault split", "baud 9600|19200", "\"?\""})
        QVERIFY2(help.message.contains(QLatin1String(mentioned)), mentioned);
}

void TestSimControl::controlLines_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("replyStart");
    QTest::addColumn<bool>("quit");

    QTest::newRow("quit") << QStringLiteral("quit") << QStringLiteral("bye") << true;
    QTest::newRow("blank") << QStringLiteral("   ") << QString() << false;
    QTest::newRow("status") << QStringLiteral("status") << QStringLiteral("power standby (80)")
                            << false;
    QTest::newRow("slow needs a number")
        << QStringLiteral("fault slow x") << QStringLiteral("usage:") << false;
    QTest::newRow("split needs on or off")
        << QStringLiteral("fault split maybe") << QStringLiteral("usage:") << false;
    QTest::newRow("baud 4800 refused")
        << QStringLiteral("baud 4800") << QStringLiteral("usage:") << false;
    QTest::newRow("negative noise")
        << QStringLiteral("noise -1") << QStringLiteral("usage:") << false;
    QTest::newRow("unknown") << QStringLiteral("explode") << QStringLiteral("unknown control")
                             << false;
}

void TestSimControl::controlLines() {
    QFETCH(QString, line);
    QFETCH(QString, replyStart);
    QFETCH(bool, quit);
    SimRig rig;
    const auto reply = runControlCommand(rig.sim, line);
    QCOMPARE(reply.quit, quit);
    QVERIFY2(reply.text.startsWith(replyStart), qPrintable(reply.text));
    QCOMPARE(reply.text.isEmpty(), replyStart.isEmpty());
    QCOMPARE(rig.sim.lineBaud(), 9600); // refused lines change nothing
    QCOMPARE(rig.sim.faults().slowMs, 0);
}

TAVO_TEST_CLASS(TestSimControl)
#include "tst_sim_control.moc"
