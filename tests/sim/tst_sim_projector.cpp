#include "SimRig.h"
#include "TestClasses.h"

#include <QRegularExpression>
#include <QTest>

using tavo::sim::SimSettings;

struct Step {
    qint64 waitMs; // before the command
    QByteArray command;
    QByteArray reply;
};
Q_DECLARE_METATYPE(Step)

namespace {

SimSettings timing(double warmup, double cooldown, double scale, int lampHours = 1234) {
    SimSettings settings;
    settings.timing = {warmup, cooldown, scale, lampHours};
    return settings;
}

} // namespace

// Power sequence, lamp hours, input and reversal of a projector on a fake clock.
class TestSimProjector : public QObject {
    Q_OBJECT
private slots:
    void powerSequence_data();
    void powerSequence();
    void lampHours_data();
    void lampHours();
    void inputSelection_data();
    void inputSelection();
    void reversal_data();
    void reversal();
    void reads_data();
    void reads();
    void temperatureFormat();
};

void TestSimProjector::powerSequence_data() {
    QTest::addColumn<double>("scale");
    QTest::addColumn<QList<Step>>("script");
    const QByteArray ack = kAckReply;

    QTest::newRow("standby at start") << 1.0 << QList<Step>{{0, "CR0", "80\r"}};
    QTest::newRow("count down lasts the warm-up")
        << 1.0
        << QList<Step>{
               {0, "C00", ack}, {0, "CR0", "40\r"}, {29999, "CR0", "40\r"}, {1, "CR0", "00\r"}};
    QTest::newRow("cooling lasts the cool-down") << 1.0
                                                 << QList<Step>{{0, "C00", ack},
                                                                {30000, "C01", ack},
                                                                {0, "CR0", "20\r"},
                                                                {59999, "CR0", "20\r"},
                                                                {1, "CR0", "80\r"}};
    QTest::newRow("off during count down cools")
        << 1.0
        << QList<Step>{
               {0, "C00", ack}, {10000, "C01", ack}, {0, "CR0", "20\r"}, {60000, "CR0", "80\r"}};
    QTest::newRow("on while cooling is refused") << 1.0
                                                 << QList<Step>{{0, "C00", ack},
                                                                {30000, "C01", ack},
                                                                {1000, "C00", ack},
                                                                {0, "CR0", "20\r"},
                                                                {59000, "CR0", "80\r"}};
    QTest::newRow("off in standby stays standby")
        << 1.0 << QList<Step>{{0, "C01", ack}, {0, "CR0", "80\r"}};
    QTest::newRow("time scale shortens the warm-up")
        << 10.0 << QList<Step>{{0, "C00", ack}, {2999, "CR0", "40\r"}, {1, "CR0", "00\r"}};
    QTest::newRow("set commands drive power too") << 1.0
                                                  << QList<Step>{{0, "CF POWER ON", ack},
                                                                 {0, "CR0", "40\r"},
                                                                 {30000, "CF POWER OFF", ack},
                                                                 {0, "CR0", "20\r"}};
}

void TestSimProjector::powerSequence() {
    QFETCH(double, scale);
    QFETCH(QList<Step>, script);
    SimRig rig(timing(30, 60, scale));
    for (const Step& step : script) {
        rig.clock.advance(step.waitMs);
        QCOMPARE(rig.send(step.command), step.reply);
    }
}

void TestSimProjector::lampHours_data() {
    QTest::addColumn<double>("warmup");
    QTest::addColumn<double>("scale");
    QTest::addColumn<int>("initial");
    QTest::addColumn<qint64>("litMs");
    QTest::addColumn<qint64>("darkMs");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("never lit") << 30.0 << 3600.0 << 1234 << qint64(0) << qint64(10000)
                               << QByteArray("01234\r");
    QTest::newRow("one hour lit") << 30.0 << 3600.0 << 1234 << qint64(1000) << qint64(0)
                                  << QByteArray("01235\r");
    QTest::newRow("count down lights the lamp")
        << 7200.0 << 3600.0 << 0 << qint64(1000) << qint64(0) << QByteArray("00001\r");
    QTest::newRow("cooling does not count")
        << 30.0 << 3600.0 << 20 << qint64(2000) << qint64(50000) << QByteArray("00022\r");
    QTest::newRow("just under an hour")
        << 30.0 << 1.0 << 7 << qint64(3599999) << qint64(0) << QByteArray("00007\r");
    QTest::newRow("stops at five digits")
        << 30.0 << 3600.0 << 99998 << qint64(10000) << qint64(0) << QByteArray("99999\r");
}

void TestSimProjector::lampHours() {
    QFETCH(double, warmup);
    QFETCH(double, scale);
    QFETCH(int, initial);
    QFETCH(qint64, litMs);
    QFETCH(qint64, darkMs);
    QFETCH(QByteArray, reply);
    SimRig rig(timing(warmup, 60, scale, initial));
    if (litMs > 0) {
        rig.send("C00");
        rig.clock.advance(litMs);
        QCOMPARE(rig.send("CR LAMPH"), reply); // same count while still lit
        rig.send("C01");
    }
    rig.clock.advance(darkMs);
    QCOMPARE(rig.send("CR3"), reply);
}

void TestSimProjector::inputSelection_data() {
    QTest::addColumn<QByteArrayList>("commands");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("input 1 at start") << QByteArrayList{} << QByteArray("1\r");
    QTest::newRow("C06") << QByteArrayList{"C06"} << QByteArray("2\r");
    QTest::newRow("C07") << QByteArrayList{"C07"} << QByteArray("3\r");
    QTest::newRow("C08") << QByteArrayList{"C08"} << QByteArray("4\r");
    QTest::newRow("C05 after C07") << QByteArrayList{"C07", "C05"} << QByteArray("1\r");
    QTest::newRow("CF INPUT 3") << QByteArrayList{"CF INPUT 3"} << QByteArray("3\r");
    QTest::newRow("UP wraps to 1") << QByteArrayList{"C08", "CF INPUT UP"} << QByteArray("1\r");
    QTest::newRow("DN wraps to 4") << QByteArrayList{"CF INPUT DN"} << QByteArray("4\r");
}

void TestSimProjector::inputSelection() {
    QFETCH(QByteArrayList, commands);
    QFETCH(QByteArray, reply);
    SimRig rig;
    for (const QByteArray& command : commands)
        QCOMPARE(rig.send(command), kAckReply);
    QCOMPARE(rig.send("CR1"), reply);
    QCOMPARE(rig.send("CR INPUT"), reply);
}

void TestSimProjector::reversal_data() {
    QTest::addColumn<QByteArrayList>("commands");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("normal") << QByteArrayList{} << QByteArray("11\r");
    QTest::newRow("ceiling flips both") << QByteArrayList{"CF CEIL ON"} << QByteArray("00\r");
    QTest::newRow("rear flips left/right") << QByteArrayList{"CF REAR ON"} << QByteArray("01\r");
    QTest::newRow("ceiling and rear flip top/bottom")
        << QByteArrayList{"CF CEIL ON", "CF REAR ON"} << QByteArray("10\r");
    QTest::newRow("ceiling off again")
        << QByteArrayList{"CF CEIL ON", "CF CEIL OFF"} << QByteArray("11\r");
}

void TestSimProjector::reversal() {
    QFETCH(QByteArrayList, commands);
    QFETCH(QByteArray, reply);
    SimRig rig;
    for (const QByteArray& command : commands)
        QCOMPARE(rig.send(command), kAckReply);
    QCOMPARE(rig.send("CR4"), reply);
}

void TestSimProjector::reads_data() {
    QTest::addColumn<QByteArrayList>("setup");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");

    const QByteArray unknown("?\r");
    QTest::newRow("CR7 default") << QByteArrayList{} << QByteArray("CR7") << QByteArray("NORMAL\r");
    QTest::newRow("CR7 after dimmer set")
        << QByteArrayList{"CF AUTOLAMPCONTRL ECO1"} << QByteArray("CR7") << QByteArray("ECO1\r");
    QTest::newRow("CR LAMPMODE after set") << QByteArrayList{"CF LAMPMODE CONSTANT"}
                                           << QByteArray("CR LAMPMODE") << QByteArray("CONSTANT\r");
    QTest::newRow("lamp off in standby")
        << QByteArrayList{} << QByteArray("CR LAMPSTS") << QByteArray("OFF\r");
    QTest::newRow("lamp on after C00")
        << QByteArrayList{"C00"} << QByteArray("CR LAMPSTS") << QByteArray("ON\r");
    QTest::newRow("status word") << QByteArrayList{"C00"} << QByteArray("CR STATUS")
                                 << QByteArray("COUNTDOWN\r");
    QTest::newRow("set value reads back")
        << QByteArrayList{"CF CONT 045"} << QByteArray("CR CONT") << QByteArray("045\r");
    QTest::newRow("video mute by C0D")
        << QByteArrayList{"C0D"} << QByteArray("CR VMUTE") << QByteArray("ON\r");
    QTest::newRow("key lock by CF KEYDIS")
        << QByteArrayList{"CF KEYDIS RC"} << QByteArray("CR KEYDIS") << QByteArray("RC\r");
    QTest::newRow("unset read default")
        << QByteArrayList{} << QByteArray("CR PIPSTORE") << QByteArray("000\r");
    QTest::newRow("arrow repeat") << QByteArrayList{} << QByteArray("C8F") << kAckReply;
    QTest::newRow("unknown code") << QByteArrayList{} << QByteArray("C99") << unknown;
    QTest::newRow("unknown status read") << QByteArrayList{} << QByteArray("CR2") << unknown;
    QTest::newRow("set without argument") << QByteArrayList{} << QByteArray("CF CONT") << unknown;
    QTest::newRow("lower case") << QByteArrayList{} << QByteArray("cr0") << unknown;
    QTest::newRow("trailing space") << QByteArrayList{} << QByteArray("CR0 ") << unknown;
    QTest::newRow("bad input number") << QByteArrayList{} << QByteArray("CF INPUT 9") << unknown;
}

void TestSimProjector::reads() {
    QFETCH(QByteArrayList, setup);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    SimRig rig;
    for (const QByteArray& line : setup)
        QCOMPARE(rig.send(line), kAckReply);
    QCOMPARE(rig.send(command), reply);
}

void TestSimProjector::temperatureFormat() {
    SimRig rig;
    const QRegularExpression format(QStringLiteral("^\\d{3}\\.\\d \\d{3}\\.\\d \\d{3}\\.\\d\\r$"));
    const QByteArray standby = rig.send("CR6");
    QCOMPARE(standby.size(), 18);
    QVERIFY2(format.match(QString::fromLatin1(standby)).hasMatch(), standby.constData());
    QCOMPARE(rig.send("CR TEMP"), standby);

    rig.send("C00");
    rig.clock.advance(60000);
    const QByteArray lit = rig.send("CR6");
    QVERIFY2(format.match(QString::fromLatin1(lit)).hasMatch(), lit.constData());
    QVERIFY(lit.left(5).toDouble() > standby.left(5).toDouble());
}

TAVO_TEST_CLASS(TestSimProjector)
#include "tst_sim_projector.moc"
