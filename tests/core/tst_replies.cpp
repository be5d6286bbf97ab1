#include "LinkFixture.h"

#include "ReplyDecoder.h"
#include "Transcript.h"

#include <QRandomGenerator>
#include <QTest>

using namespace tavo;
using namespace tavo::test;

namespace {
const QString kUnchanged = QStringLiteral("<unchanged>");
const QString kBefore = QStringLiteral("before");
} // namespace

class TestReplies : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decoding_data();
    void decoding();
    void lampHoursAppendToWhatIsShown();
    void replyInPiecesDecodesWhenComplete();
    void replyCycleWithStartUpIntervals();
    void missingReplyIsMarkedThenCleared();
    void lateArrivalStartsANewBuffer();
    void otherLineEventsAreIgnored();
    void floodWithoutSendStaysBounded();
    void linkLostIsShown();
};

void TestReplies::decoding_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("option");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("status");

    struct Row {
        const char* name;
        const char* command;
        const char* reply;
        const char* status; // nullptr: unchanged
    };
    const Row rows[] = {
        {"CR0 00", "CR0", "00\r", " Power ON"},
        {"CR0 80", "CR0", "80\r", " Stand by"},
        {"CR0 40", "CR0", "40\r", " Count down"},
        {"CR0 20", "CR0", "20\r", " Cooling down"},
        {"CR0 10", "CR0", "10\r", " Power abnormality"},
        {"CR0 08", "CR0", "08\r", " Temperature abnormality"},
        {"CR0 18", "CR0", "18\r", " Temperature abnormality"},
        {"CR0 28", "CR0", "28\r", " Temperature abnormality"},
        {"CR0 48", "CR0", "48\r", " Temperature abnormality"},
        {"CR0 88", "CR0", "88\r", " Temperature abnormality"},
        {"CR0 21", "CR0", "21\r", " Lamp Failure"},
        {"CR0 81", "CR0", "81\r", " Lamp Failure"},
        {"CR0 99", "CR0", "99\r", nullptr},
        {"CR0 ACK first", "CR0",
         "\x06"
         "00\r",
         nullptr},
        {"CR0 single digit", "CR0", "0", nullptr},
        {"CR1 1", "CR1", "1\r", " Input 1"},
        {"CR1 2", "CR1", "2\r", " Input 2"},
        {"CR1 3", "CR1", "3\r", " Input 3"},
        {"CR1 4", "CR1", "4\r", " Wired"},
        {"CR1 5", "CR1", "5\r", " Wireless/Viewer"},
        {"CR1 6", "CR1", "6\r", nullptr},
        {"CR4 11", "CR4", "11\r", " Normally"},
        {"CR4 10", "CR4", "10\r", " Top/Bottom reversal"},
        {"CR4 01", "CR4", "01\r", " Left/Right reversal"},
        {"CR4 00", "CR4", "00\r", " Top/Bottom , Left/Right reversal"},
        {"CR4 22", "CR4", "22\r", nullptr},
        {"CR3 01234", "CR3", "01234\r", "   1 2 3 4   Hour Use"},
        {"CR3 00000", "CR3", "00000\r", "             Hour Use"},
        {"CR3 10203", "CR3", "10203\r", " 1 0 2 0 3   Hour Use"},
        {"CR3 7 chars", "CR3", "012345\r", nullptr},
        {"CR3 5 chars", "CR3", "0123\r", nullptr},
        {"CR6 18 chars", "CR6", "032.5 041.0 027.3\r",
         " 0 3 2 . 5 deg C 0 4 1 . 0 deg C 0 2 7 . 3 deg C "},
        {"CR6 17 chars", "CR6", "032.5 041.0 027.\r", nullptr},
        {"CR6 19 chars", "CR6", "032.5 041.0 027.35\r", nullptr},
        {"CR7 not decoded", "CR7", "1\r", nullptr},
        {"CR0 reply to other command", "C00", "00\r", nullptr},
        {"lamp status keys never match", "CR LAMPSTS", "000 1I\r", nullptr},
        {"lamp mode keys never match", "CR LAMPMODE", "000 HIGH\r", nullptr},
    };
    for (const Row& r : rows) {
        QTest::newRow(r.name) << QByteArray(r.command) << 1 << QByteArray(r.reply)
                              << (r.status ? QString::fromLatin1(r.status) : kUnchanged);
    }
    QTest::newRow("address 001, CR0 00")
        << QByteArray("CR0") << 3 << QByteArray("00\r") << kUnchanged;
    QTest::newRow("address ALL, CR1 5")
        << QByteArray("CR1") << 2 << QByteArray("5\r") << kUnchanged;
}

void TestReplies::decoding() {
    QFETCH(QByteArray, command);
    QFETCH(int, option);
    QFETCH(QByteArray, reply);
    QFETCH(QString, status);

    LinkFixture f;
    f.loadLinked();
    f.link.selectAddress(option);
    f.panelSend(command);
    f.port.receive(reply);

    // The reply line shows the reply alone, never the address.
    QCOMPARE(f.line(Line::Label12), renderTranscript(reply));
    QCOMPARE(f.line(Line::Label25), status == kUnchanged ? QString() : status);
}

void TestReplies::lampHoursAppendToWhatIsShown() {
    LinkFixture f;
    f.loadLinked();
    f.panelSend("CR0");
    f.port.receive("00\r");
    f.panelSend("CR3");
    f.port.receive("01234\r");
    QCOMPARE(f.line(Line::Label25), QStringLiteral(" Power ON   1 2 3 4   Hour Use"));
}

void TestReplies::replyInPiecesDecodesWhenComplete() {
    LinkFixture f;
    f.loadLinked();
    f.panelSend("CR0");
    f.port.receive("0");
    QCOMPARE(f.line(Line::Label12), QStringLiteral(" 0 "));
    QVERIFY(f.line(Line::Label25).isEmpty());
    QCOMPARE(f.link.state().AwaitingReply, quint8(0));
    f.port.receive("0\r");
    QCOMPARE(f.line(Line::Label12), QStringLiteral(" 0 0  [CR] "));
    QCOMPARE(f.line(Line::Label25), QStringLiteral(" Power ON"));

    // Lamp hours in three pieces: decoded once the sixth byte is there.
    f.panelSend("CR3");
    f.port.receive("01");
    f.port.receive("234");
    QCOMPARE(f.line(Line::Label25), QStringLiteral(" Power ON"));
    f.port.receive("\r");
    QCOMPARE(f.line(Line::Label25), QStringLiteral(" Power ON   1 2 3 4   Hour Use"));
}

void TestReplies::replyCycleWithStartUpIntervals() {
    LinkFixture f;
    f.loadLinked();
    f.panelSend("CR0");
    f.port.receive("00\r");
    QVERIFY(f.view.legend(Legend::Label28));

    f.clock.advanceTo(999);
    QVERIFY(f.view.legend(Legend::Label28));
    f.clock.advanceTo(1000); // time-out: legends hidden, no mark
    QVERIFY(!f.view.legend(Legend::Label28));
    QVERIFY(!f.timer2.isEnabled());
    QCOMPARE(f.line(Line::Label12), QStringLiteral(" 0 0  [CR] "));
    QCOMPARE(f.line(Line::Label25), QStringLiteral(" Power ON"));

    f.clock.advanceTo(1199);
    QVERIFY(!f.line(Line::Label11).isEmpty());
    f.clock.advanceTo(1200); // display clearing
    QVERIFY(f.line(Line::Label11).isEmpty());
    QVERIFY(f.line(Line::Label12).isEmpty());
    QVERIFY(f.line(Line::Label25).isEmpty());
    QVERIFY(!f.timer4.isEnabled());
}

void TestReplies::missingReplyIsMarkedThenCleared() {
    LinkFixture f;
    f.loadLinked();
    f.port.receive("\x06"); // an earlier ACK, shown with its legend
    QVERIFY(f.view.legend(Legend::Label19));
    f.panelSend("C00");
    f.clock.advanceTo(1000);
    QCOMPARE(f.line(Line::Label12), QStringLiteral(" X X X X "));
    QVERIFY(!f.view.legend(Legend::Label19));
    QCOMPARE(f.link.state().AwaitingReply, quint8(0));
    f.clock.advanceTo(1200);
    QVERIFY(f.line(Line::Label12).isEmpty());
}

void TestReplies::lateArrivalStartsANewBuffer() {
    LinkFixture f;
    f.loadLinked();
    f.panelSend("CR0");
    f.port.receive("0");
    f.clock.advanceTo(1000);
    f.port.receive("0\r"); // after the time-out: decoded alone
    QCOMPARE(f.line(Line::Label12), QStringLiteral(" 0  [CR] "));
    QVERIFY(f.line(Line::Label25).isEmpty());
    QVERIFY(!f.timer2.isEnabled());
}

void TestReplies::otherLineEventsAreIgnored() {
    LinkFixture f;
    f.loadLinked();
    f.panelSend("CR0");
    f.port.raiseEvent(1001); // break
    QCOMPARE(f.link.state().AwaitingReply, quint8(1));
    QVERIFY(f.line(Line::Label12).isEmpty());
}

void TestReplies::floodWithoutSendStaysBounded() {
    LinkFixture f;
    f.loadLinked();
    QRandomGenerator random(7300);
    for (int i = 0; i < 400; ++i) {
        QByteArray noise(1 + random.bounded(256), Qt::Uninitialized);
        for (char& c : noise)
            c = char(random.bounded(256));
        f.port.receive(noise);
    }
    QCOMPARE(f.link.state().ReceiveBuffer.size(), ProjectorLink::kReceiveBufferLimit);
    QCOMPARE(f.line(Line::Label12), renderTranscript(f.link.state().ReceiveBuffer));
    // Each byte renders to at most seven characters, plus the leading space.
    QVERIFY(f.line(Line::Label12).size() <= 1 + 7 * ProjectorLink::kReceiveBufferLimit);

    // The next real exchange decodes as usual.
    f.panelSend("CR0");
    f.port.receive("80\r");
    QCOMPARE(f.line(Line::Label25), QStringLiteral(" Stand by"));
}

void TestReplies::linkLostIsShown() {
    LinkFixture f;
    f.loadLinked();
    f.panelSend("CR0");
    f.port.hangUp();
    QCOMPARE(f.line(Line::Label12), ProjectorLink::linkLostNotice());
    f.clock.advanceTo(1000); // no time-out mark over the notice
    QCOMPARE(f.line(Line::Label12), ProjectorLink::linkLostNotice());
    f.panelSend("CR0");
    QCOMPARE(f.line(Line::Label12), ProjectorLink::notSentNotice());
}

QTEST_GUILESS_MAIN(TestReplies)
#include "tst_replies.moc"
