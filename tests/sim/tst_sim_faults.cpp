#include "SimRig.h"
#include "TestClasses.h"

#include <QTest>

using tavo::sim::SimSettings;

// Line faults and health conditions, switched on the way an operator types them.
class TestSimFaults : public QObject {
    Q_OBJECT
private slots:
    void silent();
    void split_data();
    void split();
    void slowDelaysEveryReplyInTurn();
    void garbageReplacesOnlyTheNextReply();
    void health_data();
    void health();
    void temperatureAbnormalReadsHot();
    void baudMismatch_data();
    void baudMismatch();
    void noiseRunsAtLineRate();
    void faultNoneClearsEverything();
};

void TestSimFaults::silent() {
    SimRig rig;
    rig.control(QStringLiteral("fault silent on"));
    QCOMPARE(rig.send("C00"), QByteArray());
    QCOMPARE(rig.advance(10000), QByteArray());
    QVERIFY(!rig.sim.msUntilNextOutput());
    rig.control(QStringLiteral("fault silent off"));
    QCOMPARE(rig.send("CR0"), QByteArray("40\r")); // the unanswered C00 still acted
}

void TestSimFaults::split_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("status") << QByteArray("CR0") << QByteArray("80\r");
    QTest::newRow("temperatures") << QByteArray("CR6") << QByteArray("026.5 028.0 025.5\r");
    QTest::newRow("unknown") << QByteArray("C99") << QByteArray("?\r");
}

void TestSimFaults::split() {
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    SimRig rig;
    rig.control(QStringLiteral("fault split on"));
    const int gap = rig.sim.faults().splitGapMs;
    QVERIFY(gap > 0);

    for (int round = 0; round < 20; ++round) { // piece sizes are random: try many
        QByteArray received = rig.send(command);
        QVERIFY(!received.isEmpty());
        QVERIFY(received.size() < reply.size());
        while (received.size() < reply.size()) {
            QCOMPARE(rig.advance(gap - 1), QByteArray()); // nothing between pieces
            const QByteArray piece = rig.advance(1);
            QVERIFY(!piece.isEmpty());
            received += piece;
        }
        QCOMPARE(received, reply);
        QVERIFY(!rig.sim.msUntilNextOutput());
    }
    QCOMPARE(rig.send("C00"), kAckReply); // one byte cannot be split
}

void TestSimFaults::slowDelaysEveryReplyInTurn() {
    SimRig rig;
    rig.control(QStringLiteral("fault slow 300"));
    rig.sim.receive("CR0\rCR1\r", 9600);
    QCOMPARE(rig.sim.takeOutput(), QByteArray());
    QCOMPARE(*rig.sim.msUntilNextOutput(), qint64(300));
    QCOMPARE(rig.advance(299), QByteArray());
    QCOMPARE(rig.advance(1), QByteArray("80\r"));
    QCOMPARE(rig.advance(300), QByteArray("1\r"));
    rig.control(QStringLiteral("fault slow 0"));
    QCOMPARE(rig.send("CR0"), QByteArray("80\r"));
}

void TestSimFaults::garbageReplacesOnlyTheNextReply() {
    SimRig rig;
    rig.control(QStringLiteral("fault garbage"));
    const QByteArray garbled = rig.send("CR6");
    QCOMPARE(garbled.size(), 18);
    QVERIFY(garbled != QByteArray("026.5 028.0 025.5\r"));
    QCOMPARE(rig.send("CR0"), QByteArray("80\r"));

    rig.control(QStringLiteral("fault garbage"));
    const QByteArray ack = rig.send("C00");
    QCOMPARE(ack.size(), 1);
    QVERIFY(ack != kAckReply);
}

void TestSimFaults::health_data() {
    QTest::addColumn<QStringList>("controls");
    QTest::addColumn<qint64>("sinceOnMs"); // -1: stays in standby
    QTest::addColumn<bool>("switchOff");
    QTest::addColumn<QByteArray>("reply");

    const QStringList lamp{QStringLiteral("lamp-failure")};
    const QStringList temp{QStringLiteral("temp-abnormal on")};
    QTest::newRow("lamp failure in standby") << lamp << qint64(-1) << false << QByteArray("81\r");
    QTest::newRow("lamp failure when on") << lamp << qint64(30000) << false << QByteArray("21\r");
    QTest::newRow("lamp failure mended")
        << QStringList{QStringLiteral("lamp-failure on"), QStringLiteral("lamp-failure off")}
        << qint64(-1) << false << QByteArray("80\r");
    QTest::newRow("temperature in standby") << temp << qint64(-1) << false << QByteArray("88\r");
    QTest::newRow("temperature when on") << temp << qint64(30000) << false << QByteArray("08\r");
    QTest::newRow("temperature in count down") << temp << qint64(0) << false << QByteArray("48\r");
    QTest::newRow("temperature when cooling")
        << temp << qint64(30000) << true << QByteArray("28\r");
    QTest::newRow("temperature beats lamp")
        << QStringList{QStringLiteral("lamp-failure"), QStringLiteral("temp-abnormal")}
        << qint64(30000) << false << QByteArray("08\r");
    QTest::newRow("power abnormality") << QStringList{QStringLiteral("power-abnormal")}
                                       << qint64(30000) << false << QByteArray("10\r");
    QTest::newRow("power and temperature")
        << QStringList{QStringLiteral("power-abnormal"), QStringLiteral("temp-abnormal")}
        << qint64(-1) << false << QByteArray("18\r");
}

void TestSimFaults::health() {
    QFETCH(QStringList, controls);
    QFETCH(qint64, sinceOnMs);
    QFETCH(bool, switchOff);
    QFETCH(QByteArray, reply);
    SimRig rig;
    for (const QString& line : controls)
        rig.control(line);
    if (sinceOnMs >= 0) {
        rig.send("C00");
        rig.clock.advance(sinceOnMs);
    }
    if (switchOff)
        rig.send("C01");
    QCOMPARE(rig.send("CR0"), reply);
}

void TestSimFaults::temperatureAbnormalReadsHot() {
    SimRig rig;
    const double normal = rig.send("CR6").mid(6, 5).toDouble();
    rig.control(QStringLiteral("temp-abnormal"));
    const QByteArray hot = rig.send("CR6");
    QCOMPARE(hot.size(), 18);
    QVERIFY(hot.mid(6, 5).toDouble() > normal + 30);
}

void TestSimFaults::baudMismatch_data() {
    QTest::addColumn<QString>("lineSpeed");
    QTest::addColumn<int>("consoleBaud");
    QTest::addColumn<int>("garbledBytes"); // 0: answered normally

    QTest::newRow("console faster") << QStringLiteral("baud 9600") << 19200 << 8;
    QTest::newRow("console slower") << QStringLiteral("baud 19200") << 9600 << 2;
    QTest::newRow("same speed") << QStringLiteral("baud 19200") << 19200 << 0;
    QTest::newRow("speed unknown") << QStringLiteral("baud 9600") << 0 << 0;
}

void TestSimFaults::baudMismatch() {
    QFETCH(QString, lineSpeed);
    QFETCH(int, consoleBaud);
    QFETCH(int, garbledBytes);
    SimRig rig;
    rig.control(lineSpeed);
    const QByteArray out = rig.send("C00", consoleBaud);
    if (garbledBytes == 0) {
        QCOMPARE(out, kAckReply);
        return;
    }
    QCOMPARE(out.size(), garbledBytes);
    // The command was not understood, so the projector did not switch on.
    QCOMPARE(rig.send("CR0", rig.sim.lineBaud()), QByteArray("80\r"));
}

void TestSimFaults::noiseRunsAtLineRate() {
    SimRig rig;
    rig.control(QStringLiteral("noise 2")); // 9600 baud: 960 bytes a second
    QVERIFY(rig.sim.noiseActive());
    QCOMPARE(rig.advance(500).size(), 480);
    QCOMPARE(rig.send("CR0").right(3), QByteArray("80\r")); // replies still get through
    QCOMPARE(rig.advance(2000).size(), 1440);
    QVERIFY(!rig.sim.noiseActive());
    QCOMPARE(rig.advance(1000), QByteArray());
    QVERIFY(!rig.sim.msUntilNextOutput());
}

void TestSimFaults::faultNoneClearsEverything() {
    SimRig rig;
    for (const char* line : {"fault silent on", "fault split on", "fault slow 100", "fault garbage",
                             "noise 5", "lamp-failure", "temp-abnormal", "power-abnormal"})
        rig.control(QString::fromLatin1(line));
    rig.control(QStringLiteral("fault none"));
    QCOMPARE(rig.send("CR0"), QByteArray("80\r"));
    QCOMPARE(rig.advance(1000), QByteArray());
}

TAVO_TEST_CLASS(TestSimFaults)
#include "tst_sim_faults.moc"
