// A shared line as a technician uses it: the real gateway polling a simulated projector on a
// pseudo-terminal, raw TCP clients on its share and MQTT commands at the same time.
#include "FreePorts.h"
#include "MosquittoBroker.h"

#include "GatewayShares.h"
#include "MqttClient.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <csignal>

using namespace tavo;

namespace {

// A client of the share: everything it has been sent so far.
struct ShareClient {
    QTcpSocket socket;
    QByteArray received;
    bool connectFrom(const QHostAddress& from, quint16 port) {
        if (!socket.bind(from))
            return false;
        socket.connectToHost(QHostAddress::LocalHost, port);
        return socket.waitForConnected(5000);
    }
    const QByteArray& read() { return received += socket.readAll(); }
};

} // namespace

class TestGatewayShare : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void eachReplyToItsOwnAsker();
    void hostileClients();
    void ctlThroughTheGateway();
    void reloadKeepsAndAddsLines();

private:
    QByteArray simLog() { return m_simLog += m_sim.readAllStandardError(); }
    QByteArray gatewayLog() { return m_gatewayLog += m_gateway.readAllStandardError(); }
    QList<QJsonObject> audit(const QString& front);

    QTemporaryDir m_dir;
    std::unique_ptr<MosquittoBroker> m_broker;
    QProcess m_sim;
    QProcess m_sim2; // the line a reload adds
    QProcess m_gateway;
    QByteArray m_simLog;
    QByteArray m_gatewayLog;
    QString m_audit;
    QString m_device;
    QProcessEnvironment m_env; // a runtime directory of the test's own
    quint16 m_share = 0;
    QString m_site;
};

void TestGatewayShare::initTestCase() {
    if (MosquittoBroker::executable().isEmpty())
        QFAIL("mosquitto is not installed (apt-get install mosquitto)");
    m_broker = std::make_unique<MosquittoBroker>();
    QString error;
    QVERIFY2(m_broker->start(&error), qPrintable(error));
    // A long warm-up: the projector stays counting down, so every state read during the test
    // answers the same.
    m_sim.start(QStringLiteral(MX7300_SIM_PATH), {"--baud", "9600", "--warmup", "600"});
    QVERIFY(m_sim.waitForReadyRead(10000));
    const QString device = QString::fromLocal8Bit(m_sim.readLine()).trimmed();
    QVERIFY(device.startsWith(QLatin1String("/dev/")));
    m_device = device;
    m_env = QProcessEnvironment::systemEnvironment();
    m_env.remove(QStringLiteral("RUNTIME_DIRECTORY"));
    m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("run")));
    m_site = m_dir.filePath(QStringLiteral("hall.ini"));
    const QString& site = m_site;
    QFile file(site);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("[p]\nport=%1\nbaud=9600\n").arg(device).toUtf8());
    file.close();
    m_audit = m_dir.filePath(QStringLiteral("audit.jsonl"));
    m_share = freePort();
    // Polled once a minute: a state that follows a share's command within seconds was read
    // again because of it.
    m_gateway.setProcessEnvironment(m_env);
    m_gateway.start(QStringLiteral(MX7300_GATEWAY_PATH),
                    {"--site", site, "--mqtt",
                     QStringLiteral("mqtt://127.0.0.1:%1").arg(m_broker->port()), "--share",
                     QStringLiteral("127.0.0.1:%1").arg(m_share), "--share-allow", "127.0.0.1/32",
                     "--audit-file", m_audit, "--poll", "60"});
    QVERIFY(m_gateway.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(gatewayLog().contains("p: online"), 15000);
    QVERIFY2(
        gatewayLog().contains(
            QStringLiteral("share: %1 on 127.0.0.1 port %2").arg(device).arg(m_share).toUtf8()),
        gatewayLog().constData());
}

void TestGatewayShare::cleanupTestCase() {
    m_gateway.terminate();
    QVERIFY(m_gateway.waitForFinished(10000));
    for (QProcess* sim : {&m_sim, &m_sim2}) {
        sim->terminate();
        sim->waitForFinished(5000);
    }
}

QList<QJsonObject> TestGatewayShare::audit(const QString& front) {
    QFile f(m_audit);
    QList<QJsonObject> out;
    if (!f.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.value("front").toString() == front)
            out << o;
    }
    return out;
}

// Two share clients and MQTT at once, with the polls the power command brings: each client
// gets exactly the replies to its own commands, in order, and MQTT follows the power command.
void TestGatewayShare::eachReplyToItsOwnAsker() {
    MqttOptions options;
    options.host = QStringLiteral("127.0.0.1");
    options.port = m_broker->port();
    MqttClient mqtt(options);
    QStringList powers;
    connect(&mqtt, &MqttClient::messageReceived, this,
            [&](const QString& topic, const QByteArray& payload, bool) {
                if (topic == QLatin1String("tavo/hall/p/state"))
                    powers << QJsonDocument::fromJson(payload).object().value("power").toString();
            });
    connect(&mqtt, &MqttClient::connected, this,
            [&] { mqtt.subscribe(QStringLiteral("tavo/hall/p/state")); });
    mqtt.start();
    QTRY_VERIFY_WITH_TIMEOUT(!powers.isEmpty(), 10000);
    QCOMPARE(powers.last(), QStringLiteral("Stand by"));

    ShareClient a, b;
    QVERIFY(a.connectFrom(QHostAddress::LocalHost, m_share));
    QVERIFY(b.connectFrom(QHostAddress::LocalHost, m_share));
    a.socket.write("C00\rCR0\rCR0\rA001CR0\r");
    // The power command is read back at once, not at the next poll a minute away.
    QTRY_COMPARE_WITH_TIMEOUT(powers.last(), QStringLiteral("Count down"), 10000);
    b.socket.write("CR3\rCR1\r");
    mqtt.publish(QStringLiteral("tavo/hall/p/set/power"), "on", false);
    const QRegularExpression aWants(QStringLiteral("\\A\x06(40\r){3}\\z"));
    const QRegularExpression bWants(QStringLiteral("\\A\\d{5}\r\\d\r\\z"));
    QTRY_VERIFY_WITH_TIMEOUT(aWants.match(QString::fromLatin1(a.read())).hasMatch(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(bWants.match(QString::fromLatin1(b.read())).hasMatch(), 10000);
    // The re-reads went out meanwhile; one more command each shows that none of their replies
    // reached a client.
    a.socket.write("CR1\r");
    b.socket.write("CR0\r");
    QTRY_COMPARE_WITH_TIMEOUT(a.read().size(), qsizetype(1 + 9 + 2), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(b.read().size(), qsizetype(6 + 2 + 3), 10000);
    QVERIFY(a.read().endsWith("\x06"
                              "40\r40\r40\r1\r"));
    QVERIFY(b.read().endsWith("\r40\r"));
    // The line saw each command whole, the client's own address kept; the broker's came in
    // its turn.
    QTRY_VERIFY_WITH_TIMEOUT(simLog().contains("<- A001CR0  -> 40<CR>"), 5000);
    QVERIFY(simLog().contains("<- C00  -> <ACK>"));
    QTRY_COMPARE_WITH_TIMEOUT(audit(QStringLiteral("share")).size(), 8, 5000);
    for (const QJsonObject& line : audit(QStringLiteral("share"))) {
        QVERIFY(line.value("client").toString().startsWith(QLatin1String("127.0.0.1:")));
        QCOMPARE(line.value("projector").toString(), QStringLiteral("p"));
        QVERIFY(line.value("result").toString() == QLatin1String("reply") ||
                line.value("result").toString() == QLatin1String("acknowledged"));
    }
    QTRY_COMPARE_WITH_TIMEOUT(audit(QStringLiteral("mqtt")).size(), 1, 5000);
}

// A control byte costs its command only; a client that stalls mid-command is dropped; one from
// a network not allowed is closed before it can send anything. Each leaves an audit line.
void TestGatewayShare::hostileClients() {
    ShareClient control;
    QVERIFY(control.connectFrom(QHostAddress::LocalHost, m_share));
    control.socket.write(QByteArray("C\x01"
                                    "01\rCR0\r"));
    QTRY_COMPARE_WITH_TIMEOUT(control.read(), QByteArray("40\r"), 10000);
    QVERIFY(!simLog().contains("<01>"));

    ShareClient stall;
    QVERIFY(stall.connectFrom(QHostAddress::LocalHost, m_share));
    stall.socket.write("C0");
    QTRY_COMPARE_WITH_TIMEOUT(stall.socket.state(), QAbstractSocket::UnconnectedState, 15000);
    QVERIFY(stall.read().isEmpty());

    ShareClient stranger;
    QVERIFY(stranger.connectFrom(QHostAddress(QStringLiteral("127.0.0.2")), m_share));
    stranger.socket.write("C01\r");
    QTRY_COMPARE_WITH_TIMEOUT(stranger.socket.state(), QAbstractSocket::UnconnectedState, 5000);
    QVERIFY(stranger.read().isEmpty());

    const auto refused = [this](const QString& start) {
        const QList<QJsonObject> lines = audit(QStringLiteral("share"));
        return std::count_if(lines.begin(), lines.end(), [&](const QJsonObject& o) {
            return o.value("result").toString() == QLatin1String("refused") &&
                   o.value("detail").toString().startsWith(start);
        });
    };
    QTRY_COMPARE_WITH_TIMEOUT(refused(QStringLiteral("the command holds SOH (0x01) at position 2")),
                              1, 5000);
    QCOMPARE(refused(QStringLiteral("dropped: a command left unfinished for 5000 ms")), 1);
    QCOMPARE(refused(QStringLiteral("closed: 127.0.0.2 is not in the allowed networks")), 1);
    // Nothing of those reached the line: the projector heard no C01 and no stray C0.
    QVERIFY(!simLog().contains("<- C01"));
    QVERIFY(!simLog().contains("<- C0 "));
}

// mx7300-ctl asked for the gateway's port goes through the share, said in its output, while
// MQTT commands arrive for the same projector; --no-gateway finds the port busy, as before.
void TestGatewayShare::ctlThroughTheGateway() {
    const QString shares = m_dir.filePath(QStringLiteral("run/tavo/hall.shares"));
    QFile file(shares);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.permissions() & (QFile::ReadOther | QFile::WriteOther | QFile::WriteGroup),
             QFile::Permissions());
    QVERIFY(file.readAll().contains(
        QStringLiteral("line=%1 %2\n").arg(m_share).arg(m_device).toUtf8()));

    MqttOptions options;
    options.host = QStringLiteral("127.0.0.1");
    options.port = m_broker->port();
    MqttClient mqtt(options);
    mqtt.start();
    QTRY_VERIFY_WITH_TIMEOUT(mqtt.isConnected(), 5000);
    const auto ctl = [this](const QStringList& extra) {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(m_env);
        process->start(
            QStringLiteral(MX7300_CTL_PATH),
            QStringList{"--port", m_device, "--baud", "9600", "--address", "single", "--json"} +
                extra);
        return process;
    };
    const auto status = ctl({"status"});
    const auto lamp = ctl({"lamp"});
    for (int i = 0; i < 3; ++i)
        mqtt.publish(QStringLiteral("tavo/hall/p/set/power"), "on", false);
    for (QProcess* run : {status.get(), lamp.get()}) {
        QVERIFY(run->waitForFinished(15000));
        QCOMPARE(run->exitCode(), 0);
    }
    const QJsonObject statusLine =
        QJsonDocument::fromJson(status->readAllStandardOutput()).object();
    QCOMPARE(statusLine.value("via").toString(), QStringLiteral("gateway hall"));
    QCOMPARE(statusLine.value("decoded").toString(), QStringLiteral("Count down"));
    const QJsonObject lampLine = QJsonDocument::fromJson(lamp->readAllStandardOutput()).object();
    QVERIFY2(QRegularExpression(QStringLiteral("\\A\\d{5}\r\\z"))
                 .match(lampLine.value("reply").toString())
                 .hasMatch(),
             qPrintable(lampLine.value("reply").toString()));

    const auto direct = ctl({"--no-gateway", "status"});
    QVERIFY(direct->waitForFinished(15000));
    QCOMPARE(direct->exitCode(), 3);
    QVERIFY(!direct->readAllStandardOutput().contains("via"));
}

// A reload that adds a line leaves the first line's client connected and answered, and the new
// line answers on its own port; one that removes the first line closes its client. The runtime
// file follows both.
void TestGatewayShare::reloadKeepsAndAddsLines() {
    ShareClient kept;
    QVERIFY(kept.connectFrom(QHostAddress::LocalHost, m_share));
    kept.socket.write("CR0\r");
    QTRY_COMPARE_WITH_TIMEOUT(kept.read(), QByteArray("40\r"), 10000);

    m_sim2.start(QStringLiteral(MX7300_SIM_PATH), {"--baud", "19200"});
    QVERIFY(m_sim2.waitForReadyRead(10000));
    const QString device2 = QString::fromLocal8Bit(m_sim2.readLine()).trimmed();
    const quint16 share2 = freePort();
    const auto reload = [this](const QByteArray& text, const QByteArray& told) {
        QFile file(m_site);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) < 0)
            return false;
        file.close();
        const qsizetype before = gatewayLog().count(told);
        ::kill(pid_t(m_gateway.processId()), SIGHUP);
        return QTest::qWaitFor([&] { return gatewayLog().count(told) > before; }, 10000);
    };
    const QByteArray both = QStringLiteral("[p]\nport=%1\nbaud=9600\n[q]\nport=%2\nshare_port=%3\n")
                                .arg(m_device, device2)
                                .arg(share2)
                                .toUtf8();
    QVERIFY2(reload(both, "reload: site hall: added q"), gatewayLog().constData());
    QVERIFY(gatewayLog().contains(
        QStringLiteral("share: %1 on 127.0.0.1 port %2").arg(device2).arg(share2).toUtf8()));

    ShareClient added;
    QVERIFY(added.connectFrom(QHostAddress::LocalHost, share2));
    added.socket.write("CR0\r");
    kept.socket.write("CR1\r");
    QTRY_VERIFY_WITH_TIMEOUT(added.read().endsWith("\r"), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(kept.read(), QByteArray("40\r1\r"), 10000);
    QCOMPARE(kept.socket.state(), QAbstractSocket::ConnectedState);
    QByteArray heard;
    QTRY_VERIFY2_WITH_TIMEOUT((heard += m_sim2.readAllStandardError()).contains("<- CR0 "),
                              heard.constData(), 5000);
    const auto shares = [this] {
        QFile file(m_dir.filePath(QStringLiteral("run/tavo/hall.shares")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QVERIFY(shares().contains(QStringLiteral("line=%1 %2\n").arg(share2).arg(device2).toUtf8()));
    QVERIFY(shares().contains(QStringLiteral("line=%1 %2\n").arg(m_share).arg(m_device).toUtf8()));
    // As the console's "Devices…" finds them: this gateway's two lines, reached on loopback.
    const QList<GatewayShares> running =
        runningGatewayShares({m_dir.filePath(QStringLiteral("run/tavo"))});
    QCOMPARE(running.size(), 1);
    QStringList urls;
    for (const GatewayShares::Line& line : running.first().lines)
        urls << running.first().urlOf(line);
    QCOMPARE(urls, (QStringList{QStringLiteral("tcp://127.0.0.1:%1").arg(m_share),
                                QStringLiteral("tcp://127.0.0.1:%1").arg(share2)}));

    const QByteArray onlyQ =
        QStringLiteral("[q]\nport=%1\nshare_port=%2\n").arg(device2).arg(share2).toUtf8();
    QVERIFY2(reload(onlyQ, "; removed p;"), gatewayLog().constData());
    QTRY_COMPARE_WITH_TIMEOUT(kept.socket.state(), QAbstractSocket::UnconnectedState, 5000);
    QCOMPARE(added.socket.state(), QAbstractSocket::ConnectedState);
    QVERIFY(!shares().contains(m_device.toUtf8()));
    QTRY_VERIFY_WITH_TIMEOUT(!audit(QStringLiteral("share")).isEmpty() &&
                                 audit(QStringLiteral("share")).last().value("detail").toString() ==
                                     QLatin1String("closed: the line left the site"),
                             5000);
}

QTEST_GUILESS_MAIN(TestGatewayShare)
#include "tst_gateway_share.moc"
