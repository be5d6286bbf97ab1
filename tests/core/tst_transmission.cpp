#include "LinkFixture.h"

#include "Transcript.h"

#include <QTest>

using namespace tavo;
using namespace tavo::test;

class TestTransmission : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void transcript_data();
    void transcript();
    void framing_data();
    void framing();
    void sendingTheSameVariableTwiceFramesItTwice();
    void sendClearsReplyButKeepsStatus();
    void sendArmsBothTimersWithoutRestartingThem();
    void sendWhileClosedDeliversNothingAndSaysSo();
};

void TestTransmission::transcript_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("ack");
    QTest::addColumn<bool>("space");
    QTest::addColumn<bool>("cr");
    // clang-format off
    QTest::newRow("empty")          << QByteArray()          << " "                    << false << false << false;
    QTest::newRow("C00 CR")         << QByteArray("C00\r")   << " C 0 0  [CR] "        << false << false << true;
    QTest::newRow("ACK")            << QByteArray("\x06")    << "  [ACK] "             << true  << false << false;
    QTest::newRow("LF")             << QByteArray("\n")      << "  [LF]  "             << false << false << false;
    QTest::newRow("space")          << QByteArray("R L")     << " R _ L "              << false << true  << false;
    QTest::newRow("bang and z")     << QByteArray("!z")      << " ! z "                << false << false << false;
    QTest::newRow("above z")        << QByteArray("{|}~\x7f")<< " ? ? ? ? ? "          << false << false << false;
    QTest::newRow("other controls") << QByteArray("\x00\x01\x1b\t", 4) << " ? ? ? ? " << false << false << false;
    QTest::newRow("high bytes")     << QByteArray("\x80\xe9\xff") << " ? ? ? "         << false << false << false;
    QTest::newRow("lower case")     << QByteArray("abc")     << " a b c "              << false << false << false;
    // clang-format on
}

void TestTransmission::transcript() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QFETCH(bool, ack);
    QFETCH(bool, space);
    QFETCH(bool, cr);
    LegendsMet met;
    QCOMPARE(renderTranscript(bytes, &met), expected);
    QCOMPARE(met.ack, ack);
    QCOMPARE(met.space, space);
    QCOMPARE(met.cr, cr);
}

void TestTransmission::framing_data() {
    QTest::addColumn<int>("option");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("sentLine");
    QTest::addColumn<bool>("spaceLegend");
    // clang-format off
    QTest::newRow("no address") << 1 << QByteArray("C00") << QByteArray("C00\r") << " C 0 0  [CR] " << false;
    QTest::newRow("ALL")        << 2 << QByteArray("CR0") << QByteArray("AFFFCR0\r") << " A F F F C R 0  [CR] " << false;
    QTest::newRow("001")        << 3 << QByteArray("C00") << QByteArray("A001C00\r") << " A 0 0 1 C 0 0  [CR] " << false;
    QTest::newRow("004")        << 6 << QByteArray("C47") << QByteArray("A004C47\r") << " A 0 0 4 C 4 7  [CR] " << false;
    QTest::newRow("with space") << 1 << QByteArray("CR LAMPSTS") << QByteArray("CR LAMPSTS\r")
                                << " C R _ L A M P S T S  [CR] " << true;
    // clang-format on
}

void TestTransmission::framing() {
    QFETCH(int, option);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, wire);
    QFETCH(QString, sentLine);
    QFETCH(bool, spaceLegend);

    LinkFixture f;
    f.loadLinked();
    f.link.selectAddress(option);
    f.panelSend(command);

    QCOMPARE(f.port.wire, wire);
    QCOMPARE(f.port.writes.size(), 1); // one write for the whole framed text
    QCOMPARE(f.globals.CurrentCommand, wire);
    QCOMPARE(f.line(Line::Label11), sentLine);
    QVERIFY(f.view.legend(Legend::Label28));
    QCOMPARE(f.view.legend(Legend::Label27), spaceLegend);
    QVERIFY(!f.view.legend(Legend::Label19));
}

void TestTransmission::sendingTheSameVariableTwiceFramesItTwice() {
    LinkFixture f;
    f.loadLinked(QStringLiteral("A001"));
    QByteArray text("C00\r");
    f.link.Hyouji(text, 1);
    f.link.Hyouji(text, 1);
    QCOMPARE(f.port.writes.last(), QByteArray("A001A001C00\r"));
}

void TestTransmission::sendClearsReplyButKeepsStatus() {
    LinkFixture f;
    f.loadLinked();
    f.panelSend("CR0");
    f.port.receive("00\r");
    QCOMPARE(f.line(Line::Label25), QStringLiteral(" Power ON"));
    QVERIFY(!f.line(Line::Label12).isEmpty());

    f.panelSend("C05");

    QVERIFY(f.line(Line::Label12).isEmpty());
    QVERIFY(f.link.state().ReceiveBuffer.isEmpty());
    QCOMPARE(f.line(Line::Label25), QStringLiteral(" Power ON"));
    QCOMPARE(f.link.state().AwaitingReply, quint8(1));
}

void TestTransmission::sendArmsBothTimersWithoutRestartingThem() {
    LinkFixture f;
    f.loadLinked();
    f.panelSend("C00");
    QVERIFY(f.timer2.isEnabled());
    QVERIFY(f.timer4.isEnabled());
    f.clock.advance(600);
    f.panelSend("C01"); // both timers keep counting from the first send
    QCOMPARE(f.timer2.dueAt(), qint64(1000));
    QCOMPARE(f.timer4.dueAt(), qint64(1200));
}

void TestTransmission::sendWhileClosedDeliversNothingAndSaysSo() {
    LinkFixture f;
    f.link.Form_Load(); // nothing stored: the port stays closed
    QVERIFY(!f.port.portOpen());

    f.panelSend("C00");

    QVERIFY(f.port.wire.isEmpty());
    QCOMPARE(f.line(Line::Label11), QStringLiteral(" C 0 0  [CR] "));
    QCOMPARE(f.line(Line::Label12), ProjectorLink::notSentNotice());
    // The time-out must not overwrite the notice with a missing-reply mark.
    f.clock.advance(10000);
    QCOMPARE(f.line(Line::Label12), ProjectorLink::notSentNotice());
    f.clock.advance(500);
    QVERIFY(f.line(Line::Label12).isEmpty());
}

QTEST_GUILESS_MAIN(TestTransmission)
#include "tst_transmission.moc"
