#include "PortSession.h"

#include "FakeSerialPort.h"
#include "VirtualClock.h"

#include <QTest>

using namespace tavo;
using namespace tavo::ctl;
using namespace tavo::test;

Q_DECLARE_METATYPE(Outcome::Status)

namespace {

// A projector behind the fake port: each line sent is answered, a moment
// later on the virtual clock, with the next scripted reply (sent in the
// given pieces; no pieces means silence).
class ScriptedLine : public FakeSerialPort {
public:
    explicit ScriptedLine(VirtualClock& clock) : m_clock(clock), m_answer(clock, 5) {
        m_answer.setOnTimer([this] {
            m_answer.setEnabled(false);
            const QList<QByteArray> pieces = m_pending;
            m_pending.clear();
            for (const QByteArray& piece : pieces) {
                if (piece == "HANGUP")
                    hangUp();
                else
                    receive(piece);
            }
        });
    }
    bool output(const QByteArray& bytes) override {
        if (!FakeSerialPort::output(bytes))
            return false;
        sentAt << m_clock.now();
        if (!script.isEmpty()) {
            m_pending = script.takeFirst();
            if (!m_pending.isEmpty())
                m_answer.setEnabled(true);
        }
        return true;
    }

    QList<QList<QByteArray>> script;
    QList<qint64> sentAt;

private:
    VirtualClock& m_clock;
    FakeTimer m_answer;
    QList<QByteArray> m_pending;
};

// One port's session on the scripted line, its outcomes collected as they come.
struct SessionRig {
    SessionRig(const QList<QList<QByteArray>>& script, const Request& request, int baud,
               const QList<ProjectorEntry>& projectors)
        : request(request), outcomes(projectors.size()),
          session(
              line, replyTimer, pollTimer, this->request, QStringLiteral("fake1"), baud,
              [this](int index, const Outcome& outcome) { outcomes[index] = outcome; },
              [this] { done = true; }, [this] { return clock.now(); }) {
        line.script = script;
        for (int i = 0; i < projectors.size(); ++i)
            session.add(i, projectors[i]);
        session.start();
    }

    VirtualClock clock;
    ScriptedLine line{clock};
    FakeTimer replyTimer{clock, 0};
    FakeTimer pollTimer{clock, 0};
    Request request;
    QList<Outcome> outcomes;
    bool done = false;
    PortSession session;
};

} // namespace

// One port's session on the fake port and the virtual clock: when a reply is
// complete, what it decodes to, and how wait-ready paces its polls.
class TestCtlSession : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void projectorsTakeTurns_data();
    void projectorsTakeTurns();
    void waitReadyPolls_data();
    void waitReadyPolls();
};

void TestCtlSession::projectorsTakeTurns_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QStringList>("addresses"); // one projector each, in turn on the port
    QTest::addColumn<QList<QList<QByteArray>>>("script");
    QTest::addColumn<QList<Outcome::Status>>("statuses");
    QTest::addColumn<QStringList>("replies"); // reply transcripts, trimmed
    QTest::addColumn<QStringList>("decoded"); // "-" for none
    QTest::addColumn<QStringList>("errors");
    QTest::addColumn<QByteArray>("wire");

    using S = Outcome::Status;
    using Pieces = QList<QByteArray>;
    QTest::newRow("one piece") << QByteArray("CR0") << QStringList{"single"}
                               << QList<Pieces>{{"00\r"}} << QList<S>{S::Ok}
                               << QStringList{"0 0  [CR]"} << QStringList{"Power ON"}
                               << QStringList{""} << QByteArray("CR0\r");
    QTest::newRow("three pieces") << QByteArray("CR1") << QStringList{"001"}
                                  << QList<Pieces>{{"", "4", "\r"}} << QList<S>{S::Ok}
                                  << QStringList{"4  [CR]"} << QStringList{"Wired"}
                                  << QStringList{""} << QByteArray("A001CR1\r");
    QTest::newRow("ACK ends a reply")
        << QByteArray("C00") << QStringList{"all"} << QList<Pieces>{{"\x06"}} << QList<S>{S::Ok}
        << QStringList{"[ACK]"} << QStringList{"-"} << QStringList{""} << QByteArray("AFFFC00\r");
    QTest::newRow("silence") << QByteArray("CR0") << QStringList{"single"} << QList<Pieces>{{}}
                             << QList<S>{S::NoReply} << QStringList{"X X X X"} << QStringList{"-"}
                             << QStringList{"no reply"} << QByteArray("CR0\r");
    QTest::newRow("no CR by the time-out")
        << QByteArray("CR0") << QStringList{"single"} << QList<Pieces>{{"8"}}
        << QList<S>{S::NoReply} << QStringList{"8"} << QStringList{"-"}
        << QStringList{"incomplete reply"} << QByteArray("CR0\r");
    QTest::newRow("lamp hours twice: no carry-over")
        << QByteArray("CR3") << QStringList{"001", "002"} << QList<Pieces>{{"01234\r"}, {"00042\r"}}
        << QList<S>{S::Ok, S::Ok} << QStringList{"0 1 2 3 4  [CR]", "0 0 0 4 2  [CR]"}
        << QStringList{"1 2 3 4   Hour Use", "4 2   Hour Use"} << QStringList{"", ""}
        << QByteArray("A001CR3\rA002CR3\r");
    QTest::newRow("a silent one does not hold up the next")
        << QByteArray("CR4") << QStringList{"003", "004"} << QList<Pieces>{{}, {"01\r"}}
        << QList<S>{S::NoReply, S::Ok} << QStringList{"X X X X", "0 1  [CR]"}
        << QStringList{"-", "Left/Right reversal"} << QStringList{"no reply", ""}
        << QByteArray("A003CR4\rA004CR4\r");
    QTest::newRow("the line hangs up")
        << QByteArray("CR0") << QStringList{"001", "002"} << QList<Pieces>{{"HANGUP"}, {"00\r"}}
        << QList<S>{S::LinkLost, S::Failed} << QStringList{"X X X X", ""} << QStringList{"-", "-"}
        << QStringList{"link lost: fake1 went away", "not tried: the link was lost"}
        << QByteArray("A001CR0\r");
    QTest::newRow("a command text with a CR inside is refused, nothing sent")
        << QByteArray("C00\rC01") << QStringList{"002"} << QList<Pieces>{{"\x06"}}
        << QList<S>{S::Failed} << QStringList{""} << QStringList{"-"}
        << QStringList{"the command holds CR (0x0D) at position 4; nothing was sent"}
        << QByteArray();
}

void TestCtlSession::projectorsTakeTurns() {
    QFETCH(QByteArray, command);
    QFETCH(QStringList, addresses);
    QFETCH(QList<QList<QByteArray>>, script);
    QFETCH(QList<Outcome::Status>, statuses);
    QFETCH(QStringList, replies);
    QFETCH(QStringList, decoded);
    QFETCH(QStringList, errors);
    QFETCH(QByteArray, wire);

    Request request;
    request.commandText = command;
    request.timeoutMs = 1000;
    QList<ProjectorEntry> projectors(addresses.size());
    for (int i = 0; i < addresses.size(); ++i)
        projectors[i].address = addresses[i];
    SessionRig rig(script, request, 9600, projectors);
    rig.clock.advance(10000);
    const ScriptedLine& line = rig.line;

    QVERIFY(rig.done);
    QCOMPARE(line.wire, wire);
    QCOMPARE(line.openedWith, QStringList{QStringLiteral("fake1@9600,N,8,1")});
    QVERIFY(!line.portOpen());
    for (int i = 0; i < addresses.size(); ++i) {
        const Outcome& outcome = rig.outcomes[i];
        QCOMPARE(outcome.status, statuses[i]);
        QCOMPARE(outcome.replyTranscript.trimmed(), replies[i]);
        QCOMPARE(outcome.decoded.value_or(QStringLiteral("-")), decoded[i]);
        QCOMPARE(outcome.error, errors[i]);
    }
    // Each one that went out was answered or given up within its own time-out.
    for (int i = 1; i < line.sentAt.size(); ++i)
        QVERIFY(line.sentAt[i] - line.sentAt[i - 1] <= request.timeoutMs);
}

void TestCtlSession::waitReadyPolls_data() {
    QTest::addColumn<int>("limitSeconds");
    QTest::addColumn<QList<QList<QByteArray>>>("script"); // one reply per poll
    QTest::addColumn<QList<qint64>>("polledAt");
    QTest::addColumn<Outcome::Status>("status");
    QTest::addColumn<QString>("error");

    using Pieces = QList<QByteArray>;
    QTest::newRow("on at the third poll")
        << 60 << QList<Pieces>{{"40\r"}, {"40\r"}, {"00\r"}, {"00\r"}}
        << QList<qint64>{0, 1000, 2000} << Outcome::Status::Ok << QString();
    QTest::newRow("already on") << 60 << QList<Pieces>{{"00\r"}} << QList<qint64>{0}
                                << Outcome::Status::Ok << QString();
    QTest::newRow("standby until the limit")
        << 3 << QList<Pieces>{{"80\r"}, {"80\r"}, {"80\r"}, {"80\r"}, {"80\r"}}
        << QList<qint64>{0, 1000, 2000, 3000} << Outcome::Status::NoReply
        << QStringLiteral("not ready within 3 s");
    QTest::newRow("silent: every poll waits out the time-out")
        << 2 << QList<Pieces>{{}, {}, {}, {}} << QList<qint64>{0, 1000, 2000}
        << Outcome::Status::NoReply << QStringLiteral("not ready within 2 s (no reply)");
    QTest::newRow("silent, then on")
        << 60 << QList<Pieces>{{}, {"20\r"}, {"00\r"}} << QList<qint64>{0, 1000, 2000}
        << Outcome::Status::Ok << QString();
}

void TestCtlSession::waitReadyPolls() {
    QFETCH(int, limitSeconds);
    QFETCH(QList<QList<QByteArray>>, script);
    QFETCH(QList<qint64>, polledAt);
    QFETCH(Outcome::Status, status);
    QFETCH(QString, error);

    Request request;
    request.commandText = "CR0";
    request.waitReady = true;
    request.waitSeconds = limitSeconds;
    SessionRig rig(script, request, 19200, {ProjectorEntry{}});
    rig.clock.advance(qint64(limitSeconds + 5) * 1000);
    const ScriptedLine& line = rig.line;

    QVERIFY(rig.done);
    QCOMPARE(line.sentAt, polledAt);
    QCOMPARE(line.wire, QByteArray("CR0\r").repeated(polledAt.size()));
    QCOMPARE(rig.outcomes[0].status, status);
    QCOMPARE(rig.outcomes[0].error, error);
}

QTEST_GUILESS_MAIN(TestCtlSession)
#include "tst_ctl_session.moc"
