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

using namespace tavo;

namespace {

// A loopback port number nothing listens on.
quint16 closedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// A device server on loopback that says `greeting` to each client and then
// either stays connected or hangs up.
struct FakeServer {
    explicit FakeServer(QByteArray greeting, bool hangUp) {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this, greeting, hangUp] {
            client = server.nextPendingConnection();
            client->write(greeting);
            client->flush();
            if (hangUp)
                client->disconnectFromHost();
        });
    }
    QString device(const char* scheme) const {
        return QStringLiteral("%1://127.0.0.1:%2")
            .arg(QLatin1String(scheme))
            .arg(server.serverPort());
    }
    QTcpServer server;
    QTcpSocket* client = nullptr;
};

} // namespace

class TestNetworkPort : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void malformedNamesFailWithAReason_data();
    void malformedNamesFailWithAReason();
    void serversThatMisbehaveDoNotHangTheLoop_data();
    void serversThatMisbehaveDoNotHangTheLoop();
    void eventsDuringAWaitingOpenAreSafe();
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
    QTest::newRow("never answers the negotiation")
        << "rfc2217" << QByteArray() << false << false << QStringLiteral("timed out");
    QTest::newRow("refuses the option") << "rfc2217" << QByteArray("\xFF\xFE\x2C", 3) << false
                                        << false << QStringLiteral("refuses the RFC 2217");
    QTest::newRow("garbage, then consent")
        << "rfc2217"
        << QByteArray("\xFF\x01\xFF\xFA\x2C\x6B\x00\xFF\xF0\xFF\xFB\x05garbage", 19) + doComPort
        << false << true << QString();
    QTest::newRow("only garbage, unterminated subnegotiation")
        << "rfc2217" << QByteArray("\xFF\xFA\x2C\x01\xFF\xFD", 6) + QByteArray(3000, '\xFF')
        << false << false << QStringLiteral("timed out");
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
    // The event loop keeps turning while the open waits: this ticks meanwhile.
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
    if (reason.contains(QLatin1String("timed out")))
        QVERIFY2(ticks > 10, qPrintable(QString::number(ticks)));
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
