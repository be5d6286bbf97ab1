#include "SimRig.h"
#include "TestClasses.h"

#include <QTest>

using tavo::sim::SimSettings;

// Which lines the projector answers, and how the byte stream is cut into commands.
class TestSimAddressing : public QObject {
    Q_OBJECT
private slots:
    void addressing_data();
    void addressing();
    void framing_data();
    void framing();
    void commandArrivingInPieces();
};

void TestSimAddressing::addressing_data() {
    QTest::addColumn<QByteArray>("ownAddress");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("output");

    QTest::newRow("no prefix") << QByteArray("001") << QByteArray("CR0\r") << QByteArray("80\r");
    QTest::newRow("own address") << QByteArray("001") << QByteArray("A001CR0\r")
                                 << QByteArray("80\r");
    QTest::newRow("all projectors")
        << QByteArray("001") << QByteArray("AFFFCR0\r") << QByteArray("80\r");
    QTest::newRow("other address ignored")
        << QByteArray("001") << QByteArray("A002CR0\r") << QByteArray();
    QTest::newRow("other address does not act")
        << QByteArray("001") << QByteArray("A004C00\rCR0\r") << QByteArray("80\r");
    QTest::newRow("own address 003") << QByteArray("003") << QByteArray("A003C00\r") << kAckReply;
    QTest::newRow("001 is other for 003")
        << QByteArray("003") << QByteArray("A001CR0\r") << QByteArray();
    QTest::newRow("letters are no address")
        << QByteArray("001") << QByteArray("AXYZCR0\r") << QByteArray("?\r");
    QTest::newRow("short prefix") << QByteArray("001") << QByteArray("A01CR0\r")
                                  << QByteArray("?\r");
    QTest::newRow("lower-case prefix")
        << QByteArray("001") << QByteArray("afffCR0\r") << QByteArray("?\r");
    QTest::newRow("prefix without command")
        << QByteArray("001") << QByteArray("AFFF\r") << QByteArray();
}

void TestSimAddressing::addressing() {
    QFETCH(QByteArray, ownAddress);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, output);
    SimSettings settings;
    settings.address = ownAddress;
    SimRig rig(settings);
    rig.sim.receive(bytes, 9600);
    QCOMPARE(rig.sim.takeOutput(), output);
}

void TestSimAddressing::framing_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("output");

    QTest::newRow("LF after CR ignored") << QByteArray("CR0\r\n") << QByteArray("80\r");
    QTest::newRow("LF inside ignored") << QByteArray("C\nR0\r") << QByteArray("80\r");
    QTest::newRow("LF alone ends nothing") << QByteArray("CR0\n") << QByteArray();
    QTest::newRow("two commands in one chunk") << QByteArray("CR0\rCR1\r") << QByteArray("80\r1\r");
    QTest::newRow("empty line") << QByteArray("\r") << QByteArray();
    QTest::newRow("overlong line dropped whole")
        << QByteArray(200, 'X') + "CR0\rCR0\r" << QByteArray("80\r");
}

void TestSimAddressing::framing() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, output);
    SimRig rig;
    rig.sim.receive(bytes, 9600);
    QCOMPARE(rig.sim.takeOutput(), output);
}

void TestSimAddressing::commandArrivingInPieces() {
    SimRig rig;
    for (const char* piece : {"A0", "01C", "R0"}) {
        rig.sim.receive(piece, 9600);
        QCOMPARE(rig.sim.takeOutput(), QByteArray());
    }
    rig.sim.receive("\r", 9600);
    QCOMPARE(rig.sim.takeOutput(), QByteArray("80\r"));
}

TAVO_TEST_CLASS(TestSimAddressing)
#include "tst_sim_addressing.moc"
