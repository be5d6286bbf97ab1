#include "Gateway.h"

#include "FakeSerialPort.h"
#include "VirtualClock.h"

#include <QJsonDocument>
#include <QTest>

using namespace tavo;
using namespace tavo::gateway;
using namespace tavo::test;

namespace {

// A line with projectors behind it: each framed command is answered 5 ms later by the
// projector its address names, from a table of replies (ACK for a command not in it); an address
// not in the table is silent.
class ProjectorLine : public FakeSerialPort {
public:
    ProjectorLine(VirtualClock& clock, QHash<QByteArray, QHash<QByteArray, QByteArray>> replies)
        : m_clock(clock), m_replies(std::move(replies)), m_answer(clock, 5) {
        m_answer.setOnTimer([this] {
            m_answer.setEnabled(false);
            if (!m_pending.isEmpty())
                receive(std::exchange(m_pending, QByteArray()));
        });
    }
    bool output(const QByteArray& bytes) override {
        if (!FakeSerialPort::output(bytes))
            return false;
        const QByteArray line = bytes.chopped(1);
        const bool addressed = line.startsWith('A') && line.size() > 4 && line.at(1) != 'C';
        const QByteArray address = addressed ? line.left(4) : QByteArray();
        const QByteArray command = addressed ? line.mid(4) : line;
        const auto projector = m_replies.constFind(address);
        if (projector != m_replies.constEnd()) {
            m_pending = projector->value(command, QByteArrayLiteral("\x06"));
            m_answer.setEnabled(true);
        }
        return true;
    }

private:
    VirtualClock& m_clock;
    QHash<QByteArray, QHash<QByteArray, QByteArray>> m_replies;
    FakeTimer m_answer;
    QByteArray m_pending;
};

const QHash<QByteArray, QByteArray> kLit{{"CR0", "00\r"},
                                         {"CR1", "2\r"},
                                         {"CR3", "01234\r"},
                                         {"CR6", "038.5 046.0 031.5\r"},
                                         {"CR4", "11\r"}};

ProjectorConfig projector(const QString& name, const QString& target, const QByteArray& prefix) {
    ProjectorConfig p;
    p.name = name;
    p.target = target;
    p.prefix = prefix;
    p.address = prefix.isEmpty() ? QStringLiteral("single") : QString::fromLatin1(prefix.mid(1));
    p.room = QStringLiteral("2.14");
    return p;
}

struct GatewayRig {
    explicit GatewayRig(const QList<ProjectorConfig>& projectors, QSet<QString> unopenable = {}) {
        SiteConfig site;
        site.name = QStringLiteral("campus");
        site.projectors = projectors;
        gateway = std::make_unique<Gateway>(
            site,
            [this, unopenable] {
                auto line = std::make_unique<ProjectorLine>(
                    clock, QHash<QByteArray, QHash<QByteArray, QByteArray>>{
                               {"", kLit}, {"A001", kLit}, {"A002", kLit}, {"A003", {}}});
                line->missingDevices = unopenable;
                lines << line.get();
                ++portsMade;
                return line;
            },
            [this] { return std::make_unique<FakeTimer>(clock, 0); }, 10000,
            [this] { return clock.now(); },
            [] { return QDateTime(QDate(2026, 12, 8), QTime(9, 30), Qt::UTC); });
        QObject::connect(gateway.get(), &Gateway::stateChanged, gateway.get(),
                         [this](int index) { changed << index; });
    }
    QString stateOf(int index) const {
        const ProjectorState& s = gateway->state(index);
        return QStringLiteral("%1 %2").arg(
            s.available ? "online" : "offline",
            QString::fromUtf8(QJsonDocument(stateJson(gateway->projector(index), s))
                                  .toJson(QJsonDocument::Compact)));
    }

    // The line its poller opened as `device`.
    const ProjectorLine* line(const QString& device) const {
        for (const ProjectorLine* l : lines)
            if (l->deviceName() == device)
                return l;
        return nullptr;
    }

    VirtualClock clock;
    QList<ProjectorLine*> lines; // owned by the gateway's pollers
    int portsMade = 0;
    QList<int> changed; // before the gateway: its stop may still tell of changes
    std::unique_ptr<Gateway> gateway;
};

} // namespace

class TestGatewayCore : public QObject {
    Q_OBJECT

private slots:
    void pollsReadEveryProjector_data();
    void pollsReadEveryProjector();
    void commandGoesAheadOfPolls();
    void commandsQueueInOrderWithinBounds_data();
    void commandsQueueInOrderWithinBounds();
    void pollsKeepAShareUnderAFlood();
    void reloadKeepsWhatDidNotChange_data();
    void reloadKeepsWhatDidNotChange();
};

void TestGatewayCore::pollsReadEveryProjector_data() {
    QTest::addColumn<QList<ProjectorConfig>>("projectors");
    QTest::addColumn<QSet<QString>>("unopenable");
    QTest::addColumn<qint64>("after"); // ms from start
    QTest::addColumn<QStringList>("states");

    const QString lit = QStringLiteral(
        "online {\"address\":\"%1\",\"input\":\"Input 2\",\"lamp_hours\":1234,\"port\":\"%2\","
        "\"power\":\"Power ON\",\"reversal\":\"Normally\",\"room\":\"2.14\",\"temperatures\":"
        "[38.5,46,31.5],\"updated\":\"2026-12-08T09:30:00.000Z\"}");
    const QString silent = QStringLiteral(
        "offline {\"address\":\"%1\",\"input\":null,\"lamp_hours\":null,\"port\":\"%2\","
        "\"power\":null,\"reversal\":null,\"room\":\"2.14\",\"temperatures\":null,\"updated\":"
        "null}");
    QTest::newRow("two on one line take turns, a third line runs beside them")
        << QList<ProjectorConfig>{projector("a", "/dev/l1", "A001"),
                                  projector("b", "/dev/l1", "A002"), projector("c", "/dev/l2", "")}
        << QSet<QString>{} << qint64(200)
        << QStringList{lit.arg("001", "/dev/l1"), lit.arg("002", "/dev/l1"),
                       lit.arg("single", "/dev/l2")};
    QTest::newRow("a silent projector is offline and holds up its line by one time-out")
        << QList<ProjectorConfig>{projector("a", "/dev/l1", "A004"),
                                  projector("b", "/dev/l1", "A001")}
        << QSet<QString>{} << qint64(1200)
        << QStringList{silent.arg("004", "/dev/l1"), lit.arg("001", "/dev/l1")};
    QTest::newRow("a port that does not open: its projectors offline, the others read")
        << QList<ProjectorConfig>{projector("a", "/dev/gone", ""), projector("b", "/dev/l2", "")}
        << QSet<QString>{"/dev/gone"} << qint64(200)
        << QStringList{silent.arg("single", "/dev/gone"), lit.arg("single", "/dev/l2")};
    QTest::newRow("a projector that answers every read with an ACK is offline")
        << QList<ProjectorConfig>{projector("a", "/dev/l1", "A003"),
                                  projector("b", "/dev/l1", "A001")}
        << QSet<QString>{} << qint64(200)
        << QStringList{silent.arg("003", "/dev/l1"), lit.arg("001", "/dev/l1")};
}

void TestGatewayCore::pollsReadEveryProjector() {
    QFETCH(QList<ProjectorConfig>, projectors);
    QFETCH(QSet<QString>, unopenable);
    QFETCH(qint64, after);
    QFETCH(QStringList, states);

    GatewayRig rig(projectors, unopenable);
    rig.gateway->start();
    rig.clock.advance(after);
    QStringList got;
    for (int i = 0; i < projectors.size(); ++i)
        got << rig.stateOf(i);
    QCOMPARE(got, states);
    QCOMPARE(rig.changed.size(), projectors.size()); // each told once
    // The next period reads them again; nothing changed, so nothing is told.
    rig.clock.advance(10000);
    QCOMPARE(rig.changed.size(), projectors.size());
}

// A command waits only for the exchange on the wire, goes before the polls queued behind it,
// and its projector is read again right after it.
void TestGatewayCore::commandGoesAheadOfPolls() {
    GatewayRig rig({projector("a", "/dev/l1", "A001"), projector("b", "/dev/l1", "A002")});
    rig.gateway->start();
    rig.clock.advance(2); // a's power read is on the wire
    QList<Exchange> replies;
    rig.gateway->setPower(1, false, [&replies](const Exchange& e) { replies << e; });
    rig.clock.advance(500);
    QCOMPARE(replies.size(), 1);
    QCOMPARE(replies[0].status, Exchange::Status::Ok);
    QCOMPARE(replies[0].sent, QByteArray("A002C01\r"));
    const QList<QByteArray> writes = rig.line(QStringLiteral("/dev/l1"))->writes;
    const QList<QByteArray> expected{"A001CR0\r", "A002C01\r", "A002CR0\r", "A002CR1\r",
                                     "A002CR3\r", "A002CR6\r", "A002CR4\r"};
    QCOMPARE(writes.mid(0, expected.size()), expected);
    QVERIFY(writes.count("A002CR0\r") == 1); // b's queued poll did not run twice
}

// The command writes in order, a run of one write shown as "WRITE*N".
QStringList commandRuns(const QList<QByteArray>& writes) {
    QStringList runs;
    QByteArray last;
    int count = 0;
    const auto flush = [&] {
        if (count > 0)
            runs << QString::fromLatin1(last) +
                        (count > 1 ? QStringLiteral("*%1").arg(count) : QString());
    };
    for (const QByteArray& w : writes) {
        const QByteArray line = w.chopped(1);
        if (line.contains("CR"))
            continue; // a poll's read
        if (line != last) {
            flush();
            last = line;
            count = 0;
        }
        ++count;
    }
    flush();
    return runs;
}

void TestGatewayCore::commandsQueueInOrderWithinBounds_data() {
    // "N*P CMD": N commands CMD for projector P (a..e: A001..A004 and the unaddressed one),
    // submitted at once behind the poll on the wire.
    QTest::addColumn<QStringList>("submits");
    QTest::addColumn<QStringList>("wire");
    QTest::addColumn<QStringList>("refused"); // "NUMBER: error", 1-based in submit order

    QTest::newRow("three inputs behind a busy line go in the order they came")
        << QStringList{"1*b C05", "1*b C06", "1*b C07"}
        << QStringList{"A002C05", "A002C06", "A002C07"} << QStringList{};
    QTest::newRow("power on then off ends off")
        << QStringList{"1*b C00", "1*b C01"} << QStringList{"A002C00", "A002C01"} << QStringList{};
    QTest::newRow("two projectors' commands keep their arrival order")
        << QStringList{"1*a C05", "1*b C06", "1*a C07"}
        << QStringList{"A001C05", "A002C06", "A001C07"} << QStringList{};
    QTest::newRow("the 17th for one projector is refused at once")
        << QStringList{"17*b C05", "1*a C06"} << QStringList{"A002C05*16", "A001C06"}
        << QStringList{"17: busy: 16 commands already wait for this projector; nothing was sent"};
    QTest::newRow("the 65th on one line is refused at once")
        << QStringList{"16*a C05", "16*b C05", "16*c C05", "16*d C05", "1*e C05"}
        << QStringList{"A001C05*16", "A002C05*16", "A003C05*16", "A004C05*16"}
        << QStringList{"65: busy: 64 commands already wait on this line; nothing was sent"};
}

// Commands wait behind the one on the wire in arrival order, whichever projector they are for;
// past a bound they are refused before send() returns, and once the line has room again a
// command goes out.
void TestGatewayCore::commandsQueueInOrderWithinBounds() {
    QFETCH(QStringList, submits);
    QFETCH(QStringList, wire);
    QFETCH(QStringList, refused);

    QStringList gotRefused;
    int submitted = 0;
    int ended = 0;
    GatewayRig rig({projector("a", "/dev/l1", "A001"), projector("b", "/dev/l1", "A002"),
                    projector("c", "/dev/l1", "A003"), projector("d", "/dev/l1", "A004"),
                    projector("e", "/dev/l1", "")});
    rig.gateway->start();
    rig.clock.advance(2); // a's power read is on the wire
    for (const QString& submit : submits) {
        const QStringList parts = submit.split(QLatin1Char(' '));
        const int count = parts[0].section(QLatin1Char('*'), 0, 0).toInt();
        const int index = parts[0].section(QLatin1Char('*'), 1).at(0).unicode() - 'a';
        for (int i = 0; i < count; ++i) {
            const int number = ++submitted;
            const int refusedBefore = int(gotRefused.size());
            const int endedBefore = ended;
            rig.gateway->send(
                index, parts[1].toLatin1(), [&gotRefused, &ended, number](const Exchange& e) {
                    ++ended;
                    if (e.status == Exchange::Status::Busy)
                        gotRefused << QStringLiteral("%1: %2").arg(number).arg(e.error);
                });
            // Only a refusal ends before send() returns: the line is busy.
            QCOMPARE(ended - endedBefore, int(gotRefused.size()) - refusedBefore);
        }
    }
    QCOMPARE(gotRefused, refused);
    rig.clock.advance(120000);
    QCOMPARE(ended, submitted);
    const ProjectorLine* line = rig.line(QStringLiteral("/dev/l1"));
    QCOMPARE(commandRuns(line->writes), wire);

    Exchange after;
    rig.gateway->send(1, "C08", [&after](const Exchange& e) { after = e; });
    rig.clock.advance(2000);
    QCOMPARE(after.status, Exchange::Status::Ok);
}

// A projector flooded with commands leaves the line's polls their turns: its neighbour is still
// read every period.
void TestGatewayCore::pollsKeepAShareUnderAFlood() {
    int sent = 0;
    bool flooding = true;
    int polledA = 0;
    std::function<void(const Exchange&)> again;
    GatewayRig rig({projector("a", "/dev/l1", "A001"), projector("b", "/dev/l1", "A002")});
    QObject::connect(rig.gateway.get(), &Gateway::polled, rig.gateway.get(),
                     [&polledA](int index) { polledA += index == 0 ? 1 : 0; });
    rig.gateway->start();
    rig.clock.advance(2);
    again = [&](const Exchange& e) {
        if (flooding && e.status == Exchange::Status::Ok) {
            ++sent;
            rig.gateway->send(1, "C05", again);
        }
    };
    for (int i = 0; i < PortPoller::kCommandsPerProjector; ++i) {
        ++sent;
        rig.gateway->send(1, "C05", again);
    }
    rig.clock.advance(61000); // six poll periods and a bit
    flooding = false;
    QVERIFY2(sent > 2000, qPrintable(QString::number(sent))); // the flood went on throughout
    QVERIFY2(polledA >= 6, qPrintable(QString::number(polledA)));
    QCOMPARE(powerWords(rig.gateway->state(0)), QStringLiteral("Power ON"));
}

void TestGatewayCore::reloadKeepsWhatDidNotChange_data() {
    QTest::addColumn<QList<ProjectorConfig>>("before");
    QTest::addColumn<QList<ProjectorConfig>>("after");
    QTest::addColumn<QList<int>>("oldIndex");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<int>("portsMade"); // by the reload

    const ProjectorConfig a = projector("a", "/dev/l1", "A001");
    const ProjectorConfig b = projector("b", "/dev/l1", "A002");
    const ProjectorConfig c = projector("c", "/dev/l2", "");
    ProjectorConfig aSlower = a, bSlower = b, aElsewhere = a, aMoved = a;
    aSlower.baud = bSlower.baud = 9600;
    aElsewhere.room = QStringLiteral("annex");
    aMoved.address = QStringLiteral("002");
    aMoved.prefix = "A002";
    using L = QList<ProjectorConfig>;
    QTest::newRow("added at the top")
        << L{a, b} << L{c, a, b} << QList<int>{-1, 0, 1} << "added c; removed none; kept a, b" << 1;
    QTest::newRow("removed") << L{a, b, c} << L{b} << QList<int>{1}
                             << "added none; removed a, c; kept b" << 0;
    QTest::newRow("reordered") << L{a, b} << L{b, a} << QList<int>{1, 0}
                               << "added none; removed none; kept b, a" << 0;
    // A changed value is a new projector; a port no one keeps is closed and opened again.
    QTest::newRow("address changed")
        << L{a, c} << L{aMoved, c} << QList<int>{-1, 1} << "added a; removed a; kept c" << 1;
    QTest::newRow("room changed") << L{a, b} << L{aElsewhere, b} << QList<int>{-1, 1}
                                  << "added a; removed a; kept b" << 0;
    QTest::newRow("line speed changed") << L{a, b} << L{aSlower, bSlower} << QList<int>{-1, -1}
                                        << "added a, b; removed a, b; kept none" << 1;
}

// Kept projectors keep their state and port; every projector of the new site is read.
void TestGatewayCore::reloadKeepsWhatDidNotChange() {
    QFETCH(QList<ProjectorConfig>, before);
    QFETCH(QList<ProjectorConfig>, after);
    QFETCH(QList<int>, oldIndex);
    QFETCH(QString, summary);
    QFETCH(int, portsMade);

    GatewayRig rig(before);
    rig.gateway->start();
    rig.clock.advance(1000);
    QStringList states;
    for (int i = 0; i < before.size(); ++i)
        states << rig.stateOf(i);
    const int madeBefore = rig.portsMade;
    QList<int> told;
    QObject::connect(rig.gateway.get(), &Gateway::siteChanged, rig.gateway.get(),
                     [&told](const SiteChange& change) {
                         told = QList<int>(change.oldIndex.begin(), change.oldIndex.end());
                     });
    SiteConfig next = rig.gateway->site();
    next.projectors = after;
    const SiteChange change = rig.gateway->reload(next);
    QCOMPARE(told, oldIndex);
    QCOMPARE(change.summary(), summary);
    QCOMPARE(rig.portsMade - madeBefore, portsMade);
    for (int i = 0; i < after.size(); ++i)
        if (oldIndex[i] >= 0)
            QCOMPARE(rig.stateOf(i), states[oldIndex[i]]);
    rig.clock.advance(1000);
    for (int i = 0; i < after.size(); ++i)
        QVERIFY2(rig.gateway->state(i).available, qPrintable(after[i].name));
}

QTEST_GUILESS_MAIN(TestGatewayCore)
#include "tst_gateway_core.moc"
