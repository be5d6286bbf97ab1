#include "AnyDevicePort.h"
#include "NetworkPort.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <optional>

using namespace tavo;

namespace {

// A loopback port number nothing listens on.
quint16 closedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// A device server on loopback that says `greeting` to each client and then
// either stays connected or hangs up. It keeps what it is sent, and answers
// each trigger in `answers` once, when the trigger has arrived and the greeting
// has gone. The greeting may wait `greetingDelayMs` after the connection, as a
// slow server's does.
struct FakeServer {
    explicit FakeServer(QByteArray greeting, bool hangUp,
                        QList<std::pair<QByteArray, QByteArray>> answers = {},
                        int greetingDelayMs = 0)
        : pending(std::move(answers)) {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, &server,
                         [this, greeting, hangUp, greetingDelayMs] {
                             client = server.nextPendingConnection();
                             QObject::connect(client, &QTcpSocket::readyRead, client, [this] {
                                 received += client->readAll();
                                 answerTriggers();
                             });
                             QTimer::singleShot(greetingDelayMs, Qt::PreciseTimer, client,
                                                [this, greeting, hangUp] {
                                                    client->write(greeting);
                                                    client->flush();
                                                    greeted = true;
                                                    answerTriggers();
                                                    if (hangUp)
                                                        client->disconnectFromHost();
                                                });
                         });
    }
    void answerTriggers() {
        if (!greeted)
            return;
        for (auto it = pending.begin(); it != pending.end();) {
            if (!received.contains(it->first)) {
                ++it;
                continue;
            }
            client->write(it->second);
            it = pending.erase(it);
        }
    }
    QString device(const char* scheme) const {
        return QStringLiteral("%1://127.0.0.1:%2")
            .arg(QLatin1String(scheme))
            .arg(server.serverPort());
    }
    QTcpServer server;
    QTcpSocket* client = nullptr;
    QList<std::pair<QByteArray, QByteArray>> pending;
    QByteArray received;
    bool greeted = false;
};

// Telnet option requests that each change the option's state (DO BINARY, DONT
// BINARY, ...), written to `peer` as fast as it takes them while it reads nothing.
struct OptionFlood {
    explicit OptionFlood(QTcpSocket* peer) : peer(peer) {
        for (int i = 0; i < 4096; ++i)
            chunk += QByteArray("\xFF\xFD\x00\xFF\xFE\x00", 6);
        QObject::disconnect(peer, &QTcpSocket::readyRead, nullptr, nullptr);
        peer->setReadBufferSize(1); // and the kernel's buffers fill up behind it
        QObject::connect(peer, &QTcpSocket::bytesWritten, peer, [this] { more(); });
        more();
    }
    void more() {
        while (peer->state() == QAbstractSocket::ConnectedState &&
               peer->bytesToWrite() < 1024 * 1024) {
            peer->write(chunk);
            sent += chunk.size();
        }
    }
    QTcpSocket* peer;
    QByteArray chunk;
    qint64 sent = 0;
};

const QByteArray kDoComPort("\xFF\xFD\x2C", 3);
const QByteArray kPurge("\xFF\xFA\x2C\x0C\x01\xFF\xF0", 7);
const QByteArray kPurgeAcknowledged("\xFF\xFA\x2C\x70\x01\xFF\xF0", 7);

} // namespace

class TestNetworkPort : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void malformedNamesFailWithAReason_data();
    void malformedNamesFailWithAReason();
    void serversThatMisbehaveDoNotHangTheLoop_data();
    void serversThatMisbehaveDoNotHangTheLoop();
    void eventsDuringAWaitingOpenAreSafe();
    void serversThatDoNotReadAreDropped_data();
    void serversThatDoNotReadAreDropped();
    void leftoversOnTheServerAreNotTheReply_data();
    void leftoversOnTheServerAreNotTheReply();
    void portsOpenAtOnceWithoutWaitingForEachOther();
    void networkCodeIsMadeOnlyForANetworkDevice_data();
    void networkCodeIsMadeOnlyForANetworkDevice();
    void theConsoleLoadsItsNetworkPortsWhenOneIsNamed();
};

void TestNetworkPort::malformedNamesFailWithAReason_data() {
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("reason");
    QTest::newRow("scheme only") << QStringLiteral("tcp://") << QStringLiteral("no host and port");
    QTest::newRow("no port") << QStringLiteral("tcp://host") << QStringLiteral("no port number");
    QTest::newRow("port too large")
        << QStringLiteral("tcp://host:99999") << QStringLiteral("not a port number");
    QTest::newRow("port zero") << QStringLiteral("rfc2217://127.0.0.1:0")
                               << QStringLiteral("not a port number");
    QTest::newRow("port not a number")
        << QStringLiteral("tcp://127.0.0.1:ab") << QStringLiteral("not a port number");
    QTest::newRow("unclosed IPv6 bracket")
        << QStringLiteral("rfc2217://[::1") << QStringLiteral("no closing bracket");
    QTest::newRow("not IPv6 in brackets")
        << QStringLiteral("tcp://[host]:4000") << QStringLiteral("not an IPv6 address");
    QTest::newRow("no host") << QStringLiteral("tcp://:4000") << QStringLiteral("no host");
    QTest::newRow("space in the host")
        << QStringLiteral("tcp://my host:4000") << QStringLiteral("not a host name");
    QTest::newRow("space before the port")
        << QStringLiteral("tcp://127.0.0.1 :4000") << QStringLiteral("not a host name");
    QTest::newRow("path after the port")
        << QStringLiteral("tcp://127.0.0.1:4000/x") << QStringLiteral("not a port number");
    QTest::newRow("ten thousand characters")
        << QStringLiteral("tcp://") + QString(10000, QLatin1Char('a')) + QStringLiteral(":1")
        << QStringLiteral("too long");
}

void TestNetworkPort::malformedNamesFailWithAReason() {
    QFETCH(QString, device);
    QFETCH(QString, reason);
    AnyDevicePort port([device](int) { return device; }, &makeLinkedNetworkPort);
    QVERIFY(port.setCommPort(7));
    QVERIFY(!port.setPortOpen(true));
    QVERIFY(!port.portOpen());
    QCOMPARE(port.deviceName(), device);
    QVERIFY2(port.openError().contains(reason), qPrintable(port.openError()));
    QVERIFY(port.openError().size() < 400);
    QVERIFY(!port.output("C00\r"));
    // and the port is still usable afterwards
    QVERIFY(port.setCommPort(8));
}

void TestNetworkPort::serversThatMisbehaveDoNotHangTheLoop_data() {
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<bool>("hangUp");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QString>("reason");
    const QByteArray doComPort("\xFF\xFD\x2C", 3);
    const QString noAnswer = QStringLiteral("connected, but the device server did not take up");
    QTest::newRow("never answers the negotiation")
        << "rfc2217" << QByteArray() << false << false << noAnswer;
    QTest::newRow("refuses the option") << "rfc2217" << QByteArray("\xFF\xFE\x2C", 3) << false
                                        << false << QStringLiteral("refuses the RFC 2217");
    QTest::newRow("garbage, then consent")
        << "rfc2217"
        << QByteArray("\xFF\x01\xFF\xFA\x2C\x6B\x00\xFF\xF0\xFF\xFB\x05garbage", 19) + doComPort
        << false << true << QString();
    QTest::newRow("only garbage, unterminated subnegotiation")
        << "rfc2217" << QByteArray("\xFF\xFA\x2C\x01\xFF\xFD", 6) + QByteArray(3000, '\xFF')
        << false << false << noAnswer;
    QTest::newRow("hangs up at once")
        << "rfc2217" << QByteArray() << true << false << QStringLiteral("closed the connection");
    QTest::newRow("raw port opens at once") << "tcp" << QByteArray() << false << true << QString();
    QTest::newRow("nobody listening")
        << "tcp" << QByteArray("refused") << false << false << QStringLiteral("connection refused");
}

void TestNetworkPort::serversThatMisbehaveDoNotHangTheLoop() {
    QFETCH(QString, scheme);
    QFETCH(QByteArray, greeting);
    QFETCH(bool, hangUp);
    QFETCH(bool, opens);
    QFETCH(QString, reason);
    FakeServer server(greeting, hangUp);
    const QString device = greeting == "refused"
                               ? QStringLiteral("tcp://127.0.0.1:%1").arg(closedPort())
                               : server.device(qPrintable(scheme));
    AnyDevicePort port([device](int) { return device; }, &makeLinkedNetworkPort);
    // The event loop keeps turning while the open waits: this ticks meanwhile (how freely is
    // mx7300-bench noise's figure).
    int ticks = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, &ticker, [&] { ++ticks; });
    ticker.start(20);
    QCOMPARE(port.setPortOpen(true), opens);
    QCOMPARE(port.portOpen(), opens);
    if (!opens) {
        QVERIFY2(port.openError().contains(reason), qPrintable(port.openError()));
        QVERIFY(port.openError().contains(device));
    }
    // The event loop ran while the open waited.
    if (reason.contains(QLatin1String("did not take up")))
        QVERIFY2(ticks > 0, qPrintable(QString::number(ticks)));
}

// While an open waits in its local loop, the operator can still click: a
// second open and a send are refused, a close cancels the wait at once.
void TestNetworkPort::eventsDuringAWaitingOpenAreSafe() {
    FakeServer silent(QByteArray(), false);
    const QString device = silent.device("rfc2217");
    AnyDevicePort port([device](int) { return device; }, &makeLinkedNetworkPort);
    int secondOpen = -1;
    int sent = -1;
    int portChange = -1;
    QTimer::singleShot(50, Qt::PreciseTimer, &silent.server, [&] {
        secondOpen = port.setPortOpen(true);
        sent = port.output("C00\r");
        portChange = port.setCommPort(2);
        port.setPortOpen(false);
    });
    QElapsedTimer waited;
    waited.start();
    QVERIFY(!port.setPortOpen(true));
    QCOMPARE(secondOpen, 0);
    QCOMPARE(sent, 0);
    QCOMPARE(portChange, 0);
    QVERIFY2(port.openError().contains(QLatin1String("cancelled")), qPrintable(port.openError()));
    // the close ended the wait, not the time-out
    QVERIFY(waited.elapsed() < NetworkPort::kOpenTimeoutMs);
    QVERIFY(!port.portOpen());
}

void TestNetworkPort::serversThatDoNotReadAreDropped_data() {
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<bool>("floodOnceOpen");
    QTest::addColumn<bool>("ourOutputUnread");
    QTest::newRow("option flood while the option is negotiated")
        << "rfc2217" << QByteArray() << false << false;
    QTest::newRow("option flood once the port is open")
        << "rfc2217" << kDoComPort + kPurgeAcknowledged << true << false;
    QTest::newRow("raw tcp, our own output left unread") << "tcp" << QByteArray() << true << true;
}

// A peer that keeps asking and never reads the answers, or never reads what we
// send, is dropped once the unread bytes pass the cap: memory stays bounded, and
// the operator is told why.
void TestNetworkPort::serversThatDoNotReadAreDropped() {
    QFETCH(QString, scheme);
    QFETCH(QByteArray, greeting);
    QFETCH(bool, floodOnceOpen);
    QFETCH(bool, ourOutputUnread);
    FakeServer server(greeting, false);
    const QString device = server.device(qPrintable(scheme));
    NetworkPort port([device](int) { return device; });
    int lost = 0;
    port.setOnComm([&] { lost += port.commEvent() == SerialPort::EvLinkLost; });
    QList<bool> outcomes;
    port.openAsync([&](bool opened) { outcomes += opened; });
    QTRY_VERIFY(server.client);
    if (floodOnceOpen)
        QTRY_COMPARE(outcomes, QList<bool>{true});
    if (ourOutputUnread) {
        QObject::disconnect(server.client, &QTcpSocket::readyRead, nullptr, nullptr);
        server.client->setReadBufferSize(1);
        const QByteArray chunk(16 * 1024, 'x');
        int sends = 0;
        while (sends < 10000 && port.output(chunk))
            ++sends;
        QVERIFY(sends < 10000);
        QCOMPARE(lost, 0); // told from the loop, not inside the caller's output
    }
    std::optional<OptionFlood> flood;
    if (!ourOutputUnread)
        flood.emplace(server.client);
    if (floodOnceOpen)
        QTRY_COMPARE_WITH_TIMEOUT(lost, 1, 20000);
    else
        QTRY_COMPARE_WITH_TIMEOUT(outcomes, QList<bool>{false}, 20000);
    const QString reason = floodOnceOpen ? port.linkLostReason() : port.openError();
    QVERIFY2(reason.contains(QLatin1String("does not read what is sent")), qPrintable(reason));
    QVERIFY(!port.portOpen());
    if (flood) // its next write finds the connection gone
        QTRY_COMPARE(server.client->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(outcomes.size(), 1);
    QCOMPARE(lost, floodOnceOpen ? 1 : 0);
}

void TestNetworkPort::leftoversOnTheServerAreNotTheReply_data() {
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<int>("greetingDelayMs");
    QTest::addColumn<QByteArray>("onPurge");
    QTest::addColumn<QByteArray>("beforeFirstOutput");
    const QByteArray heldReply("80\r"); // a stand-by reply to an earlier client's status
    const QByteArray none;
    QTest::newRow("raw tcp, held and sent just after the connect")
        << "tcp" << heldReply << NetworkPort::kSettleMs / 4 << none << none;
    QTest::newRow("rfc2217, held and sent before the consent")
        << "rfc2217" << heldReply + kDoComPort << 0 << kPurgeAcknowledged << none;
    QTest::newRow("rfc2217, on its way when the purge arrives, then acknowledged")
        << "rfc2217" << kDoComPort << 0 << heldReply + kPurgeAcknowledged << none;
    QTest::newRow("rfc2217, on its way when the purge arrives, never acknowledged")
        << "rfc2217" << kDoComPort << 0 << heldReply << none;
    QTest::newRow("rfc2217, arriving after the open, before the first output")
        << "rfc2217" << kDoComPort << 0 << kPurgeAcknowledged << heldReply;
}

void TestNetworkPort::leftoversOnTheServerAreNotTheReply() {
    QFETCH(QString, scheme);
    QFETCH(QByteArray, greeting);
    QFETCH(int, greetingDelayMs);
    QFETCH(QByteArray, onPurge);
    QFETCH(QByteArray, beforeFirstOutput);
    QList<std::pair<QByteArray, QByteArray>> answers{{"CR0\r", "00\r"}};
    if (!onPurge.isEmpty())
        answers.prepend({kPurge, onPurge});
    FakeServer server(greeting, false, answers, greetingDelayMs);
    const QString device = server.device(qPrintable(scheme));
    AnyDevicePort port([device](int) { return device; }, &makeLinkedNetworkPort);
    QByteArray received;
    port.setOnComm([&] { received += port.input(); });
    QVERIFY2(port.setPortOpen(true), qPrintable(port.openError()));
    if (!beforeFirstOutput.isEmpty()) {
        // The port's answer to the request behind it shows it has read them.
        server.client->write(beforeFirstOutput + QByteArray("\xFF\xFD\x03", 3));
        QTRY_VERIFY(server.received.contains(QByteArray("\xFF\xFB\x03", 3)));
    }
    QVERIFY(port.output("CR0\r"));
    QTRY_COMPARE(received, QByteArray("00\r"));
    QCOMPARE(server.received.contains(kPurge), scheme == QLatin1String("rfc2217"));
}

// Several ports opened at once: the one whose server answers is open while the
// others still wait; closing a waiting one reports it at once, destroying one
// reports nothing, and the silent one fails on its own time-out.
void TestNetworkPort::portsOpenAtOnceWithoutWaitingForEachOther() {
    FakeServer good(QByteArray(), false);
    FakeServer silent(QByteArray(), false);
    FakeServer closedMeanwhile(QByteArray(), false);
    FakeServer destroyedMeanwhile(QByteArray(), false);
    const auto portFor = [](const QString& device) {
        return std::make_unique<AnyDevicePort>([device](int) { return device; },
                                               &makeLinkedNetworkPort);
    };
    auto goodPort = portFor(good.device("tcp"));
    auto silentPort = portFor(silent.device("rfc2217"));
    auto closedPort = portFor(closedMeanwhile.device("rfc2217"));
    auto destroyedPort = portFor(destroyedMeanwhile.device("rfc2217"));
    QStringList reports;
    silentPort->openAsync([&](bool opened) { reports += QStringLiteral("silent %1").arg(opened); });
    closedPort->openAsync([&](bool opened) { reports += QStringLiteral("closed %1").arg(opened); });
    destroyedPort->openAsync([&](bool) { reports += QStringLiteral("destroyed"); });
    goodPort->openAsync([&](bool opened) {
        reports += QStringLiteral("good %1").arg(opened);
        closedPort->setPortOpen(false);
        destroyedPort.reset();
    });
    QVERIFY(reports.isEmpty()); // nobody waited inside openAsync
    QTRY_COMPARE_WITH_TIMEOUT(reports.size(), 3, 3 * NetworkPort::kOpenTimeoutMs);
    QCOMPARE(reports, (QStringList{"good 1", "closed 0", "silent 0"}));
    QVERIFY(goodPort->portOpen());
    QVERIFY2(closedPort->openError().contains(QLatin1String("cancelled")),
             qPrintable(closedPort->openError()));
    QVERIFY2(silentPort->openError().contains(QLatin1String("did not take up")),
             qPrintable(silentPort->openError()));
}

void TestNetworkPort::networkCodeIsMadeOnlyForANetworkDevice_data() {
    QTest::addColumn<bool>("network");
    QTest::addColumn<bool>("loads");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a local device") << false << true << false << QString();
    QTest::newRow("a network device") << true << true << true << QString();
    QTest::newRow("a network device, the plugin missing")
        << true << false << false << QStringLiteral("Network ports are not available: gone");
}

void TestNetworkPort::networkCodeIsMadeOnlyForANetworkDevice() {
    QFETCH(bool, network);
    QFETCH(bool, loads);
    QFETCH(bool, opens);
    QFETCH(QString, reason);
    FakeServer server("", false);
    const QString device = network ? server.device("tcp") : QStringLiteral("/dev/null");
    int made = 0;
    AnyDevicePort port([device](int) { return device; },
                       [&made, loads](AnyDevicePort::DeviceResolver resolve,
                                      QString* why) -> std::unique_ptr<SerialPort> {
                           ++made;
                           if (loads)
                               return makeLinkedNetworkPort(std::move(resolve), why);
                           *why = QStringLiteral("gone");
                           return nullptr;
                       });
    QCOMPARE(port.setPortOpen(true), opens);
    QCOMPARE(made, network ? 1 : 0);
    QCOMPARE(port.deviceName(), device);
    if (!reason.isEmpty())
        QVERIFY2(port.openError().contains(reason), qPrintable(port.openError()));
}

// The real console, whose network code is a plugin loaded on demand, reaches a device server.
void TestNetworkPort::theConsoleLoadsItsNetworkPortsWhenOneIsNamed() {
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    QTemporaryDir config;
    {
        QSettings ini(config.filePath(QStringLiteral("TAVO/TAVO.ini")), QSettings::IniFormat);
        ini.setValue(QStringLiteral("StartUP/ComPort"), QStringLiteral("1"));
        ini.setValue(QStringLiteral("StartUP/BaudRate"), QStringLiteral("96"));
        ini.setValue(QStringLiteral("Ports/COM1"),
                     QStringLiteral("tcp://127.0.0.1:%1").arg(server.serverPort()));
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess console;
    console.setProcessEnvironment(environment);
    console.start(QStringLiteral(MX7300_CONTROL_PATH), {});
    QVERIFY2(server.waitForNewConnection(30000), console.readAllStandardError().constData());
    console.terminate();
    QVERIFY(console.waitForFinished(10000));
    QCOMPARE(console.exitStatus(), QProcess::NormalExit);
    QCOMPARE(console.exitCode(), 0);
}

QTEST_MAIN(TestNetworkPort)
#include "tst_network_port.moc"
