#include "ProjectorChannel.h"

#include "FakeSerialPort.h"
#include "VirtualClock.h"

#include <QTest>

using namespace tavo;
using namespace tavo::test;

namespace {

// One step of a script, at a time on the virtual clock:
//   "req NAME COMMAND [PREFIX] [urgent]"  a request (COMMAND with "\r" spelled out as <CR>)
//   "rx BYTES"                            bytes from the projectors (<CR>, <ACK>, <N*x> for N x's)
//                                         (<NEL>, a C1 byte, in either)
//   "lost"                                the line goes away
struct Step {
    qint64 at;
    QString action;
};

QByteArray bytesOf(QString text) {
    static const QRegularExpression run(QStringLiteral("<(\\d+)\\*(.)>"));
    for (auto m = run.match(text); m.hasMatch(); m = run.match(text))
        text.replace(m.capturedStart(), m.capturedLength(),
                     QString(m.captured(1).toInt(), m.captured(2).at(0)));
    return text.replace(QLatin1String("<CR>"), QLatin1String("\r"))
        .replace(QLatin1String("<ACK>"), QLatin1String("\x06"))
        .replace(QLatin1String("<NEL>"), QString(QChar(0x85)))
        .toLatin1();
}

const char* statusName(Exchange::Status status) {
    switch (status) {
    case Exchange::Status::Ok:
        return "ok";
    case Exchange::Status::NoReply:
        return "no-reply";
    case Exchange::Status::Failed:
        return "failed";
    case Exchange::Status::LinkLost:
        return "lost";
    case Exchange::Status::Busy:
        return "busy";
    }
    return "?";
}

} // namespace

Q_DECLARE_METATYPE(QList<Step>)

class TestProjectorChannel : public QObject {
    Q_OBJECT

private slots:
    void requestsTakeTurns_data();
    void requestsTakeTurns();
};

void TestProjectorChannel::requestsTakeTurns_data() {
    QTest::addColumn<QList<Step>>("script");
    QTest::addColumn<QByteArray>("wire");
    // "NAME status reply-size decoded | error", in the order they ended
    QTest::addColumn<QStringList>("ended");

    QTest::newRow("in order, an urgent one next, decoded behind an address")
        << QList<Step>{{0, "req a CR0 A001"}, {0, "req b CR0 A002"}, {0, "req c C00 - urgent"},
                       {5, "rx 00<CR>"},      {10, "rx <ACK>"},      {15, "rx 8"},
                       {16, "rx 0<CR>"}}
        << QByteArray("A001CR0\rC00\rA002CR0\r")
        << QStringList{"a ok 3 Power ON |", "c ok 1 - |", "b ok 3 Stand by |"};
    QTest::newRow("a late answer is nobody's reply")
        << QList<Step>{{0, "req a CR0"},
                       {1500, "rx 00<CR>"},
                       {2000, "req b CR1"},
                       {2005, "rx 2<CR>"}}
        << QByteArray("CR0\rCR1\r") << QStringList{"a no-reply 0 - | no reply", "b ok 2 Input 2 |"};
    QTest::newRow("a silent projector delays the next by its time-out only")
        << QList<Step>{{0, "req a CR0 A003"}, {0, "req b CR0 A004"}, {1005, "rx 40<CR>"}}
        << QByteArray("A003CR0\rA004CR0\r")
        << QStringList{"a no-reply 0 - | no reply", "b ok 3 Count down |"};
    QTest::newRow("noise is capped and ends as incomplete")
        << QList<Step>{{0, "req a CR0"}, {5, "rx <2000*x>"}} << QByteArray("CR0\r")
        << QStringList{"a no-reply 1024 - | incomplete reply"};
    QTest::newRow("the line goes away: the one out is lost, the waiting ones fail")
        << QList<Step>{{0, "req a CR0"}, {0, "req b CR1"}, {5, "lost"}} << QByteArray("CR0\r")
        << QStringList{"a lost 0 - | link lost: fake1 went away",
                       "b failed 0 - | link lost: fake1 went away"};
    QTest::newRow("a CR or a C1 byte inside a command is refused; the next one goes")
        << QList<Step>{{0, "req a C00<CR>C01 A002"},
                       {0, "req n C0<NEL>0 A002"},
                       {0, "req b C00 A002"},
                       {5, "rx <ACK>"}}
        << QByteArray("A002C00\r")
        << QStringList{
               "a failed 0 - | the command holds CR (0x0D) at position 4; nothing was sent",
               "n failed 0 - | the command holds NEL (0x85) at position 3; nothing was sent",
               "b ok 1 - |"};
    QTest::newRow("urgent ones go in the order they came, ahead of the normal ones")
        << QList<Step>{{0, "req a CR0"},          {0, "req b CR1"},
                       {0, "req c C05 - urgent"}, {0, "req d C06 - urgent"},
                       {0, "req e C07 - urgent"}, {5, "rx <ACK>"},
                       {10, "rx <ACK>"},          {15, "rx <ACK>"},
                       {20, "rx <ACK>"},          {25, "rx <ACK>"}}
        << QByteArray("CR0\rC05\rC06\rC07\rCR1\r")
        << QStringList{"a ok 1 - |", "c ok 1 - |", "d ok 1 - |", "e ok 1 - |", "b ok 1 - |"};
    // kUrgentRun is 4: the fifth turn goes to the oldest normal request waiting.
    QTest::newRow("while normal ones wait, they get every fifth turn")
        << QList<Step>{{0, "req a CR0"},           {0, "req b CR1"},
                       {0, "req c CR3"},           {0, "req u1 C05 - urgent"},
                       {0, "req u2 C06 - urgent"}, {0, "req u3 C07 - urgent"},
                       {0, "req u4 C08 - urgent"}, {0, "req u5 C00 - urgent"},
                       {0, "req u6 C01 - urgent"}, {5, "rx <ACK>"},
                       {10, "rx <ACK>"},           {15, "rx <ACK>"},
                       {20, "rx <ACK>"},           {25, "rx <ACK>"},
                       {30, "rx <ACK>"},           {35, "rx <ACK>"},
                       {40, "rx <ACK>"},           {45, "rx <ACK>"}}
        << QByteArray("CR0\rC05\rC06\rC07\rC08\rCR1\rC00\rC01\rCR3\r")
        << QStringList{"a ok 1 - |", "u1 ok 1 - |", "u2 ok 1 - |", "u3 ok 1 - |", "u4 ok 1 - |",
                       "b ok 1 - |", "u5 ok 1 - |", "u6 ok 1 - |", "c ok 1 - |"};
}

void TestProjectorChannel::requestsTakeTurns() {
    QFETCH(QList<Step>, script);
    QFETCH(QByteArray, wire);
    QFETCH(QStringList, ended);

    VirtualClock clock;
    FakeSerialPort port;
    FakeTimer replyTimer(clock, 0);
    ProjectorChannel channel(port, replyTimer, [&clock] { return clock.now(); });
    bool opened = false;
    channel.open(QStringLiteral("fake1"), 9600, [&opened](bool ok) { opened = ok; });
    QVERIFY(opened);
    QCOMPARE(port.openedWith, QStringList{QStringLiteral("fake1@9600,N,8,1")});

    QStringList got;
    for (const Step& step : script) {
        clock.advanceTo(step.at);
        const QStringList words = step.action.split(QLatin1Char(' '));
        if (words[0] == QLatin1String("req")) {
            const QString name = words[1];
            const QByteArray prefix =
                words.size() > 3 && words[3] != QLatin1String("-") ? words[3].toLatin1() : "";
            const auto priority = words.size() > 4 ? ProjectorChannel::Priority::Urgent
                                                   : ProjectorChannel::Priority::Normal;
            channel.request(
                bytesOf(words[2]), prefix, 1000,
                [&got, name](const Exchange& e) {
                    got << QStringLiteral("%1 %2 %3 %4 | %5")
                               .arg(name, QLatin1String(statusName(e.status)))
                               .arg(e.reply.size())
                               .arg(e.decoded.value_or(QStringLiteral("-")), e.error)
                               .trimmed();
                },
                priority);
        } else if (words[0] == QLatin1String("rx")) {
            port.receive(bytesOf(words[1]));
        } else {
            port.hangUp();
        }
    }
    clock.advance(10000);
    QCOMPARE(port.wire, wire);
    QCOMPARE(got, ended);
    QCOMPARE(channel.pending(), 0);
}

QTEST_GUILESS_MAIN(TestProjectorChannel)
#include "tst_projector_channel.moc"
