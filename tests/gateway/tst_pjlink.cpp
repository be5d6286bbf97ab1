// The PJLink front byte for byte on loopback sockets, over a gateway whose projector is scripted.
#include "PjlinkRig.h"

#include "PjlinkDigest.h"
#include "PjlinkInputMap.h"

#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

using namespace tavo;
using namespace tavo::test;
using InputMap = tavo::site::PjlinkInputMap;
using tavo::gateway::pjlink::PjlinkFront;

namespace {
const QString kPassword = QStringLiteral("JBMIAProjectorLink");
const QByteArray kWrongDigest(32, 'f');

QString describe(const InputMap& map) {
    QStringList items;
    for (const InputMap::Entry& e : map.entries())
        items << QStringLiteral("%1=%2").arg(e.input).arg(QString::fromLatin1(e.code));
    return items.join(QLatin1Char(','));
}
} // namespace

class TstPjlink : public QObject {
    Q_OBJECT

private slots:
    void digestVector();
    void inputMap_data();
    void inputMap();
    void conversation_data();
    void conversation();
    void setsWhileTheQueueIsFull();
    void badInput_data();
    void badInput();
    void slowClients_data();
    void slowClients();
    void search();
};

// The standard's own example.
void TstPjlink::digestVector() {
    QCOMPARE(gateway::pjlink::digest("498e4a67", kPassword),
             QByteArray("5d8409bc1c3fa39749434aa3a5c38682"));
    QVERIFY(gateway::pjlink::digestMatches("5D8409BC1C3FA39749434AA3A5C38682",
                                           "5d8409bc1c3fa39749434aa3a5c38682"));
    QVERIFY(!gateway::pjlink::digestMatches("5d8409bc1c3fa39749434aa3a5c38683",
                                            "5d8409bc1c3fa39749434aa3a5c38682"));
}

void TstPjlink::inputMap_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("table"); // sorted by code, or "error"
    QTest::newRow("defaults") << ""
                              << "1=11,2=12,3=21,4=51,5=52";
    QTest::newRow("own table") << " 2 = 31 , 1=32,4=51"
                               << "2=31,1=32,4=51";
    QTest::newRow("no such input") << "6=11"
                                   << "error";
    QTest::newRow("code out of range") << "1=61"
                                       << "error";
    QTest::newRow("code 10") << "1=10"
                             << "error";
    QTest::newRow("input twice") << "1=11,1=12"
                                 << "error";
    QTest::newRow("code twice") << "1=11,2=11"
                                << "error";
    QTest::newRow("not a pair") << "1=11,2"
                                << "error";
}

void TstPjlink::inputMap() {
    QFETCH(QString, text);
    QFETCH(QString, table);
    QString error;
    const std::optional<InputMap> map = InputMap::parse(text, &error);
    QCOMPARE(map ? describe(*map) : QStringLiteral("error"), table);
    QCOMPARE(error.isEmpty(), bool(map));
}

// {random} in `expected` and {digest} in `sent` stand for this connection's greeting and digest.
void TstPjlink::conversation_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("inputs"); // the section's pjlink_inputs
    QTest::addColumn<QByteArray>("power");
    QTest::addColumn<QByteArray>("lamp");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QByteArrayList>("commands"); // to the projector, beyond the poll's reads
    QTest::addColumn<bool>("closes");

    const QString none;
    const QByteArray off = "80", on = "00";
    const QByteArray hours = "01234";
    const QByteArray open = "PJLINK 0\r";
    const auto row = [&](const char* name, const QByteArray& power, const QByteArray& sent,
                         const QByteArray& answers, QByteArrayList commands = {}) {
        QTest::newRow(name) << none << none << power << hours << false << sent << open + answers
                            << commands << false;
    };

    QTest::newRow("greeting, then idle close") << none << none << off << hours << false
                                               << QByteArray() << open << QByteArrayList() << true;
    QTest::newRow("digest right") << kPassword << none << off << hours << false
                                  << QByteArray("{digest}%1POWR ?\r%1CLSS ?\r")
                                  << QByteArray("PJLINK 1 {random}\r%1POWR=0\r%1CLSS=2\r")
                                  << QByteArrayList() << false;
    QTest::newRow("digest wrong") << kPassword << none << off << hours << false
                                  << kWrongDigest + "%1POWR ?\r"
                                  << QByteArray("PJLINK 1 {random}\rPJLINK ERRA\r")
                                  << QByteArrayList() << true;
    QTest::newRow("digest missing")
        << kPassword << none << off << hours << false << QByteArray("%1POWR ?\r")
        << QByteArray("PJLINK 1 {random}\rPJLINK ERRA\r") << QByteArrayList() << true;

    row("power standby", off, "%1POWR ?\r", "%1POWR=0\r");
    row("power on", on, "%1POWR ?\r", "%1POWR=1\r");
    row("power cooling", "20", "%1POWR ?\r", "%1POWR=2\r");
    row("power warming", "40", "%1POWR ?\r", "%1POWR=3\r");
    row("power fault", "10", "%1POWR ?\r", "%1POWR=ERR4\r");
    row("power on set", off, "%1POWR 1\r", "%1POWR=OK\r", {"C00"});
    row("power off set", on, "%1POWR 0\r", "%1POWR=OK\r", {"C01"});
    row("power set while warming", "40", "%1POWR 0\r", "%1POWR=ERR3\r");
    row("power set while cooling", "20", "%1POWR 1\r", "%1POWR=ERR3\r");
    row("power out of range", off, "%1POWR 2\r%1POWR\r", "%1POWR=ERR2\r%1POWR=ERR2\r");

    row("input query", off, "%1INPT ?\r", "%1INPT=11\r");
    row("input set", off, "%1INPT 21\r%1INPT 51\r", "%1INPT=OK\r%1INPT=OK\r", {"C07", "C08"});
    row("input without a set command", off, "%1INPT 52\r", "%1INPT=ERR2\r");
    row("input not offered", off, "%1INPT 31\r%1INPT x\r", "%1INPT=ERR2\r%1INPT=ERR2\r");
    row("input set while cooling", "20", "%1INPT 12\r", "%1INPT=ERR3\r");
    row("inputs offered", off, "%1INST ?\r", "%1INST=11 12 21 51\r");
    QTest::newRow("own input table")
        << none << QStringLiteral("1=31,2=32") << off << hours << false
        << QByteArray("%1INPT ?\r%1INST ?\r%1INPT 32\r")
        << open + "%1INPT=31\r%1INST=31 32\r%1INPT=OK\r" << QByteArrayList{"C06"} << false;

    row("mute read once, then kept", on, "%1AVMT ?\r%1AVMT 11\r%1AVMT ?\r%1AVMT 30\r%1AVMT ?\r",
        "%1AVMT=30\r%1AVMT=OK\r%1AVMT=11\r%1AVMT=OK\r%1AVMT=30\r", {"CR VMUTE", "C0D", "C0E"});
    row("mute of sound", on, "%1AVMT 21\r%1AVMT 20\r%1AVMT 12\r",
        "%1AVMT=ERR2\r%1AVMT=ERR2\r%1AVMT=ERR2\r");
    row("mute while warming", "40", "%1AVMT 31\r", "%1AVMT=ERR3\r");

    row("errors none", on, "%1ERST ?\r", "%1ERST=000000\r");
    row("errors lamp", "21", "%1ERST ?\r", "%1ERST=020000\r");
    row("errors temperature", "08", "%1ERST ?\r", "%1ERST=002000\r");
    row("errors power", "10", "%1ERST ?\r", "%1ERST=000002\r");
    QTest::newRow("errors lamp worn")
        << none << none << on << QByteArray("03000") << false << QByteArray("%1ERST ?\r")
        << open + "%1ERST=010000\r" << QByteArrayList() << false;
    row("lamp lit", on, "%1LAMP ?\r", "%1LAMP=1234 1\r");
    row("lamp out", off, "%1LAMP ?\r", "%1LAMP=1234 0\r");

    row("information", off, "%1NAME ?\r%1INF1 ?\r%1INF2 ?\r%1INFO ?\r%1CLSS ?\r",
        "%1NAME=hall\r%1INF1=TAVO\r%1INF2=MX7300\r%1INFO=Main hall\r%1CLSS=2\r");
    row("query with a value", off, "%1NAME x\r%1CLSS 1\r", "%1NAME=ERR2\r%1CLSS=ERR2\r");
    row("class 2", off, "%2POWR ?\r%2INNM ?51\r%2INNM ?41\r%2SNUM ?\r%2SVER ?\r%2FREZ ?\r",
        "%2POWR=0\r%2INNM=Wired\r%2INNM=ERR2\r%2SNUM=ERR1\r%2SVER=ERR1\r%2FREZ=ERR1\r");
    row("undefined", off, "%1XXXX ?\r%1INNM ?11\r%3POWR ?\r",
        "%1XXXX=ERR1\r%1INNM=ERR1\r%3POWR=ERR1\r");
    static const char kSloppy[] = "\0\0%1powr ?\r\n%1name ?\r\n\0%1Inf1 ?\r";
    row("as clients send it", off, QByteArray(kSloppy, sizeof kSloppy - 1),
        "%1POWR=0\r%1NAME=hall\r%1INF1=TAVO\r");
    QTest::newRow("not PJLink") << none << none << off << hours << false
                                << QByteArray("GET / HTTP/1.0\r\n\r\n") << open << QByteArrayList()
                                << true;

    QTest::newRow("projector silent")
        << none << none << off << hours << true << QByteArray("%1POWR ?\r%1LAMP ?\r%1POWR 1\r")
        << open + "%1POWR=ERR4\r%1LAMP=ERR4\r%1POWR=ERR4\r" << QByteArrayList{"C00"} << false;
}

void TstPjlink::conversation() {
    QFETCH(QString, password);
    QFETCH(QString, inputs);
    QFETCH(QByteArray, power);
    QFETCH(QByteArray, lamp);
    QFETCH(bool, silent);
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, expected);
    QFETCH(QByteArrayList, commands);
    QFETCH(bool, closes);

    PjlinkRig rig(inputs);
    rig.projector->power = power;
    rig.projector->lamp = lamp;
    rig.projector->silent = silent;
    QVERIFY(rig.start(password));

    PjlinkClient client(rig.front->portOf(0));
    QTRY_VERIFY(client.received.endsWith('\r'));
    sent.replace("{digest}", gateway::pjlink::digest(client.random(), password));
    expected.replace("{random}", client.random());
    client.socket.write(sent);
    QTRY_VERIFY_WITH_TIMEOUT(client.received.size() >= expected.size(), 8000);
    QCOMPARE(client.received, expected);
    QCOMPARE(rig.projector->commands, commands);
    if (closes)
        QTRY_COMPARE(client.socket.state(), QAbstractSocket::UnconnectedState);
    else
        QCOMPARE(client.socket.state(), QAbstractSocket::ConnectedState);
}

// Sets are refused as "try later" while the projector's commands fill its queue; nothing more is
// queued for it.
void TstPjlink::setsWhileTheQueueIsFull() {
    int ended = 0; // outlives the rig, whose stop ends the commands
    PjlinkRig rig;
    QVERIFY(rig.start(QString()));
    rig.projector->silent = true; // each command waits out its time-out
    for (int i = 0; i < gateway::PortPoller::kCommandsPerProjector; ++i)
        rig.gateway->send(0, "C0D", [&ended](const Exchange&) { ++ended; });
    QCOMPARE(ended, 0);

    PjlinkClient client(rig.front->portOf(0));
    QTRY_VERIFY(client.received.endsWith('\r'));
    client.socket.write("%1POWR 1\r%1AVMT 31\r");
    const QByteArray expected = "PJLINK 0\r%1POWR=ERR3\r%1AVMT=ERR3\r";
    QTRY_VERIFY(client.received.size() >= expected.size());
    QCOMPARE(client.received, expected);
    QVERIFY(!rig.projector->commands.contains("C00"));
}

void TstPjlink::badInput_data() {
    QTest::addColumn<QString>("attack");
    QTest::newRow("long lines") << "long";
    QTest::newRow("binary") << "binary";
    QTest::newRow("wrong digest ten times") << "digest";
    QTest::newRow("200 connections") << "flood";
    QTest::newRow("lines piling up") << "pile";
}

// Each attack is answered by the standard's error or a close, and a client already there goes
// on as before.
void TstPjlink::badInput() {
    QFETCH(QString, attack);
    PjlinkRig rig;
    QVERIFY(rig.start(kPassword, 30000));
    const auto login = [](PjlinkClient& c) {
        c.socket.write(gateway::pjlink::digest(c.random(), kPassword) + "%1CLSS ?\r");
    };

    PjlinkClient bystander(rig.front->portOf(0));
    QTRY_VERIFY(bystander.received.endsWith('\r'));
    login(bystander);
    QTRY_VERIFY(bystander.received.endsWith("%1CLSS=2\r"));

    if (attack == "long" || attack == "binary" || attack == "pile") {
        PjlinkClient c(rig.front->portOf(0));
        QTRY_VERIFY(c.received.endsWith('\r'));
        login(c);
        QTRY_VERIFY(c.received.endsWith("%1CLSS=2\r"));
        c.received.clear();
        if (attack == "long") {
            c.socket.write("%1NAME " + QByteArray(200, 'x') + "\r%1INFO " +
                           QByteArray(1 << 20, 'y') + "\r%1INF1 ?\r");
            QTRY_COMPARE_WITH_TIMEOUT(c.received,
                                      QByteArray("%1NAME=ERR2\r%1INFO=ERR2\r%1INF1=TAVO\r"), 10000);
        } else {
            c.socket.write(attack == "binary" ? QByteArray("\x80\xff\x01%\x02\x03\x04\x05\r")
                                              : QByteArray(20, '\r').replace("\r", "%1POWR ?\r"));
            QTRY_COMPARE(c.socket.state(), QAbstractSocket::UnconnectedState);
            QVERIFY(attack == "pile" || c.received.isEmpty());
        }
    } else if (attack == "digest") {
        for (int i = 0; i < 10; ++i) {
            PjlinkClient c(rig.front->portOf(0));
            QTRY_VERIFY(c.received.endsWith('\r'));
            c.received.clear();
            c.socket.write(kWrongDigest + "%1POWR 1\r");
            QTRY_COMPARE(c.socket.state(), QAbstractSocket::UnconnectedState);
            QCOMPARE(c.received, QByteArray("PJLINK ERRA\r"));
        }
        QVERIFY(rig.projector->commands.isEmpty());
    } else {
        std::vector<std::unique_ptr<PjlinkClient>> crowd;
        for (int i = 0; i < 200; ++i)
            crowd.push_back(std::make_unique<PjlinkClient>(rig.front->portOf(0)));
        const auto settled = [&crowd] {
            for (const auto& c : crowd) {
                if (c->socket.state() != QAbstractSocket::UnconnectedState &&
                    !c->received.endsWith('\r'))
                    return false;
            }
            return true;
        };
        QTRY_VERIFY_WITH_TIMEOUT(settled(), 10000);
        // Each newcomer took the place of the oldest not yet answered; the bystander kept its.
        const auto connected = [&crowd] {
            int n = 0;
            for (const auto& c : crowd)
                n += c->socket.state() == QAbstractSocket::ConnectedState ? 1 : 0;
            return n;
        };
        QTRY_COMPARE(connected(), PjlinkFront::kMaxClientsPerPort - 1);
        QVERIFY(!crowd.back()->received.isEmpty());
        crowd.clear();
        QTRY_COMPARE(rig.front->clientsOn(0), 1);
    }

    bystander.received.clear();
    bystander.socket.write("%1NAME ?\r");
    QTRY_COMPARE(bystander.received, QByteArray("%1NAME=hall\r"));
}

void TstPjlink::slowClients_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("trickle"); // a byte of it every 50 ms, round and round; no CR
    QTest::addColumn<int>("crowd");          // how many such clients come first
    QTest::addColumn<int>("deadlineMs");     // for a line and for the digest
    const int full = PjlinkFront::kMaxClientsPerPort;
    QTest::newRow("a line never finished") << QString() << QByteArray("%1POWR ?") << 1 << 400;
    QTest::newRow("no digest after the greeting") << kPassword << QByteArray() << 1 << 400;
    QTest::newRow("a digest never finished") << kPassword << QByteArray("5d8409bc") << 1 << 400;
    QTest::newRow("a port full of them") << QString() << QByteArray("%1POWR ?") << full << 30000;
    QTest::newRow("a password port full of silent ones")
        << kPassword << QByteArray() << full << 30000;
}

// Clients that trickle bytes or say nothing are closed by the deadlines well before the idle
// time, and never keep the room controller that comes after them out.
void TstPjlink::slowClients() {
    QFETCH(QString, password);
    QFETCH(QByteArray, trickle);
    QFETCH(int, crowd);
    QFETCH(int, deadlineMs);
    PjlinkRig rig;
    rig.lineMs = deadlineMs;
    rig.digestMs = deadlineMs;
    QVERIFY(rig.start(password, 30000));

    std::vector<std::unique_ptr<PjlinkClient>> slow;
    for (int i = 0; i < crowd; ++i) {
        slow.push_back(std::make_unique<PjlinkClient>(rig.front->portOf(0)));
        QTRY_VERIFY(slow.back()->received.endsWith('\r'));
    }
    int next = 0;
    QTimer drip;
    connect(&drip, &QTimer::timeout, this, [&] {
        if (trickle.isEmpty())
            return;
        for (const auto& c : slow)
            c->socket.write(trickle.mid(next % trickle.size(), 1));
        ++next;
    });
    drip.start(50);

    PjlinkClient controller(rig.front->portOf(0));
    QTRY_VERIFY(controller.received.endsWith('\r'));
    const QByteArray digest =
        password.isEmpty() ? QByteArray() : gateway::pjlink::digest(controller.random(), password);
    controller.received.clear();
    controller.socket.write(digest + "%1POWR ?\r");
    QTRY_COMPARE(controller.received, QByteArray("%1POWR=0\r"));

    if (crowd == 1) {
        QTRY_COMPARE_WITH_TIMEOUT(slow[0]->socket.state(), QAbstractSocket::UnconnectedState,
                                  10 * deadlineMs);
        QVERIFY(!slow[0]->received.contains('%')); // nothing of it was answered
    }
    QCOMPARE(controller.socket.state(), QAbstractSocket::ConnectedState);
}

// Class 2 search: the gateway on 127.0.0.2 answers a searcher on 127.0.0.1 at the search port.
void TstPjlink::search() {
    QUdpSocket searcher;
    QVERIFY(searcher.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    const QHostAddress gatewayAddress(QStringLiteral("127.0.0.2"));
    PjlinkRig rig;
    QVERIFY(rig.start(kPassword, 1500, gatewayAddress, searcher.localPort()));

    searcher.writeDatagram("%1POWR ?\r", gatewayAddress, searcher.localPort());
    searcher.writeDatagram(QByteArray("\0%2srch\r\n", 9), gatewayAddress, searcher.localPort());
    QTRY_VERIFY(searcher.hasPendingDatagrams());
    const QNetworkDatagram answer = searcher.receiveDatagram();
    QCOMPARE(answer.senderAddress(), gatewayAddress);
    static const QRegularExpression ackn(QStringLiteral("^%2ACKN=([0-9a-f]{2}:){5}[0-9a-f]{2}\r$"));
    QVERIFY2(ackn.match(QString::fromLatin1(answer.data())).hasMatch(), answer.data().constData());

    PjlinkClient client(rig.front->portOf(0), gatewayAddress);
    QTRY_VERIFY(client.received.startsWith("PJLINK 1 "));
}

QTEST_GUILESS_MAIN(TstPjlink)
#include "tst_pjlink.moc"
