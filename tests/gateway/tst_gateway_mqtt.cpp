// mx7300-gateway as a process against a real mosquitto, with simulated projectors on
// pseudo-terminals, one of them behind a real ser2net.
#include "MosquittoBroker.h"
#include "Ser2netServer.h"

#include "MqttClient.h"

#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

using namespace tavo;

namespace {

// A simulated projector; what it received is read from its traffic log.
struct Sim {
    QProcess process;
    QString device;
    QByteArray log;

    bool start(const QStringList& args) {
        // The tests' site files say baud=9600; a row may still name another rate after it.
        process.start(QStringLiteral(MX7300_SIM_PATH), QStringList{"--baud", "9600"} + args);
        if (!process.waitForReadyRead(10000))
            return false;
        device = QString::fromLocal8Bit(process.readLine()).trimmed();
        return device.startsWith(QLatin1String("/dev/"));
    }
    void tell(const QByteArray& line) { process.write(line + '\n'); }
    // Every command the projector received so far, one per entry.
    QStringList received() {
        log += process.readAllStandardError();
        QStringList commands;
        for (const QByteArray& line : log.split('\n'))
            if (line.startsWith("<- "))
                commands << QString::fromLatin1(line.mid(3, line.indexOf("  ->") - 3));
        return commands;
    }
    ~Sim() {
        process.closeWriteChannel();
        process.terminate();
        process.waitForFinished(5000);
    }
};

// Everything the broker sends a subscriber of "#" (retained or not), newest last per topic.
struct Subscriber {
    explicit Subscriber(quint16 port) {
        MqttOptions options;
        options.host = QStringLiteral("127.0.0.1");
        options.port = port;
        client = std::make_unique<MqttClient>(options);
        QObject::connect(client.get(), &MqttClient::messageReceived, client.get(),
                         [this](const QString& topic, const QByteArray& payload, bool) {
                             last[topic] = payload;
                             seen << topic;
                         });
        client->subscribe(QStringLiteral("#"));
        client->start();
    }
    QJsonObject json(const QString& topic) const {
        return QJsonDocument::fromJson(last.value(topic)).object();
    }
    std::unique_ptr<MqttClient> client;
    QHash<QString, QByteArray> last;
    QStringList seen;
};

class Gateway {
public:
    bool start(const QString& siteFile, quint16 brokerPort, const QString& name) {
        m_process.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        m_process.start(QStringLiteral(MX7300_GATEWAY_PATH),
                        {QStringLiteral("--site"), siteFile, QStringLiteral("--name"), name,
                         QStringLiteral("--mqtt"),
                         QStringLiteral("mqtt://127.0.0.1:%1").arg(brokerPort),
                         QStringLiteral("--poll"), QStringLiteral("1")});
        return m_process.waitForStarted(5000);
    }
    // Clean stop; the exit status.
    int stop() {
        m_process.terminate();
        if (!m_process.waitForFinished(10000))
            return -1;
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    QByteArray log() { return m_log += m_process.readAllStandardError(); }
    qint64 pid() const { return m_process.processId(); }
    ~Gateway() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

private:
    QProcess m_process;
    QByteArray m_log;
};

// CPU seconds the process has used (user + system), from /proc.
double cpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = stat.readAll().split(')').value(1).split(' ');
    return (fields.value(12).toDouble() + fields.value(13).toDouble()) / 100.0;
}

QString writeSite(const QTemporaryDir& dir, const QString& file, const QString& text) {
    const QString path = dir.filePath(file);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text.toUtf8()) != text.toUtf8().size())
        return {};
    return path;
}

} // namespace

class TestGatewayMqtt : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void siteOnTheBroker();
    void malformedPayloadsChangeNothing_data();
    void malformedPayloadsChangeNothing();
    void twoGatewaysOneBroker();
    void discoveryFollowsTheSiteAndHomeAssistant();
    void badSiteFileIsRefused_data();
    void badSiteFileIsRefused();

private:
    QTemporaryDir m_dir;
};

void TestGatewayMqtt::initTestCase() {
    if (MosquittoBroker::executable().isEmpty())
        QFAIL("mosquitto is not installed (apt-get install mosquitto)");
    QVERIFY(m_dir.isValid());
}

// Retained state and discovery after start, a power command reaching the wire and the state
// following, a silent projector going offline and back, the broker killed and restarted.
void TestGatewayMqtt::siteOnTheBroker() {
    MosquittoBroker broker;
    QString error;
    QVERIFY2(broker.start(&error), qPrintable(error));
    Sim hall;
    QVERIFY(hall.start({"--warmup", "1", "--cooldown", "1"}));
    Sim lab;
    QVERIFY(lab.start({"--address", "002", "--quiet"}));
    Ser2netServer ser2net(lab.device, QStringLiteral("9600n81"));
    QVERIFY2(ser2net.start(&error), qPrintable(error));
    const QString site = writeSite(m_dir, QStringLiteral("campus.ini"),
                                   QStringLiteral("[hall]\nport=%1\nbaud=9600\nroom=2.14\n"
                                                  "[lab]\nport=%2\nbaud=9600\naddress=002\n")
                                       .arg(hall.device, ser2net.rawUrl()));
    Gateway gateway;
    QVERIFY(gateway.start(site, broker.port(), QStringLiteral("campus")));

    Subscriber sub(broker.port());
    QTRY_COMPARE_WITH_TIMEOUT(sub.last.value("tavo/campus/gateway/availability"),
                              QByteArray("online"), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(sub.json("tavo/campus/hall/state").value("power").toString(),
                              QStringLiteral("Stand by"), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(sub.json("tavo/campus/lab/state").value("lamp_hours").toInt(), 1234,
                              10000);
    QCOMPARE(sub.last.value("tavo/campus/hall/availability"), QByteArray("online"));
    const QJsonObject hallState = sub.json("tavo/campus/hall/state");
    QCOMPARE(hallState.value("room").toString(), QStringLiteral("2.14"));
    QCOMPARE(hallState.value("address").toString(), QStringLiteral("single"));
    QVERIFY(hallState.value("updated").toString().endsWith(QLatin1Char('Z')));
    const QJsonObject power = sub.json("homeassistant/switch/tavo_campus/hall_power/config");
    QCOMPARE(power.value("command_topic").toString(), QStringLiteral("tavo/campus/hall/set/power"));
    QCOMPARE(power.value("device").toObject().value("suggested_area").toString(),
             QStringLiteral("2.14"));
    QVERIFY(sub.last.contains("homeassistant/sensor/tavo_campus/lab_lamp_hours/config"));

    // A command reaches the wire and the state follows.
    QVERIFY(sub.client->publish("tavo/campus/hall/set/power", "on", false));
    QTRY_VERIFY_WITH_TIMEOUT(hall.received().contains("C00"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(sub.json("tavo/campus/hall/state").value("power").toString(),
                              QStringLiteral("Power ON"), 10000);
    QVERIFY(sub.client->publish("tavo/campus/hall/send", "CR3", false));
    QTRY_VERIFY_WITH_TIMEOUT(sub.last.contains("tavo/campus/hall/reply"), 5000);
    QCOMPARE(sub.json("tavo/campus/hall/reply").value("sent").toString(), QStringLiteral("CR3\r"));
    QCOMPARE(sub.json("tavo/campus/hall/reply").value("ok").toBool(), true);

    // A silent projector goes offline and comes back.
    hall.tell("fault silent on");
    QTRY_COMPARE_WITH_TIMEOUT(sub.last.value("tavo/campus/hall/availability"),
                              QByteArray("offline"), 10000);
    QCOMPARE(sub.json("tavo/campus/hall/state").value("power"), QJsonValue(QJsonValue::Null));
    QCOMPARE(sub.last.value("tavo/campus/lab/availability"), QByteArray("online"));
    hall.tell("fault silent off");
    QTRY_COMPARE_WITH_TIMEOUT(sub.last.value("tavo/campus/hall/availability"), QByteArray("online"),
                              10000);

    // The broker goes away: polling goes on without a storm, and on its return the retained
    // state is there again (this broker keeps nothing across a restart).
    broker.kill();
    const double cpuBefore = cpuSeconds(gateway.pid());
    QTest::qWait(4000);
    const double cpuDuring = cpuSeconds(gateway.pid()) - cpuBefore;
    QVERIFY2(cpuDuring < 1.0, qPrintable(QString::number(cpuDuring)));
    QVERIFY2(broker.start(&error), qPrintable(error));
    Subscriber later(broker.port());
    QTRY_COMPARE_WITH_TIMEOUT(later.json("tavo/campus/hall/state").value("power").toString(),
                              QStringLiteral("Power ON"), 40000);
    QTRY_VERIFY_WITH_TIMEOUT(
        later.last.contains("homeassistant/switch/tavo_campus/lab_power/config"), 5000);

    // A clean stop leaves "offline", not the will, and frees the ports.
    QCOMPARE(gateway.stop(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(later.last.value("tavo/campus/gateway/availability"),
                              QByteArray("offline"), 5000);
    QVERIFY(!QFile::exists(QStringLiteral("/run/lock/LCK..") +
                           hall.device.mid(5).replace(QLatin1Char('/'), QLatin1Char('_'))));
}

void TestGatewayMqtt::malformedPayloadsChangeNothing_data() {
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("retain");
    QTest::addColumn<QString>("errorTopic");
    QTest::addColumn<QString>("reason");
    QTest::newRow("power maybe") << "tavo/s1/p/set/power" << QByteArray("maybe") << false
                                 << "tavo/s1/p/error"
                                 << "set/power takes on or off";
    QTest::newRow("power ON in capitals")
        << "tavo/s1/p/set/power" << QByteArray("ON") << false << "tavo/s1/p/error"
        << "set/power takes on or off";
    QTest::newRow("input 7") << "tavo/s1/p/set/input" << QByteArray("7") << false
                             << "tavo/s1/p/error"
                             << "set/input takes 1, 2, 3 or 4";
    QTest::newRow("input 01") << "tavo/s1/p/set/input" << QByteArray("01") << false
                              << "tavo/s1/p/error"
                              << "set/input takes 1, 2, 3 or 4";
    QTest::newRow("a second command in send")
        << "tavo/s1/p/send" << QByteArray("C00\rC01") << false << "tavo/s1/p/error"
        << "CR (0x0D) at position 4";
    QTest::newRow("a C1 NEL in send") << "tavo/s1/p/send"
                                      << QByteArray("C0\xc2\x85"
                                                    "0")
                                      << false << "tavo/s1/p/error"
                                      << "NEL (0x85) at position 3; nothing was sent";
    QTest::newRow("send beyond Latin-1")
        << "tavo/s1/p/send" << QByteArray("C\xe4\xb8\x80") << false << "tavo/s1/p/error"
        << "outside Latin-1";
    QTest::newRow("send not UTF-8")
        << "tavo/s1/p/send" << QByteArray("C\xff") << false << "tavo/s1/p/error"
        << "UTF-8";
    QTest::newRow("a huge payload")
        << "tavo/s1/p/send" << QByteArray(5000, 'C') << false << "tavo/s1/p/error"
        << "over 256 bytes";
    QTest::newRow("unknown projector")
        << "tavo/s1/nobody/set/power" << QByteArray("on") << false << "tavo/s1/gateway/error"
        << "no projector \"nobody\"";
    QTest::newRow("a retained command")
        << "tavo/s1/p/set/power" << QByteArray("on") << true << "tavo/s1/p/error"
        << "retained command";
}

// Nothing reaches the line but the polls; each refusal is answered on error with its reason.
void TestGatewayMqtt::malformedPayloadsChangeNothing() {
    QFETCH(QString, topic);
    QFETCH(QByteArray, payload);
    QFETCH(bool, retain);
    QFETCH(QString, errorTopic);
    QFETCH(QString, reason);

    MosquittoBroker broker;
    QString error;
    QVERIFY2(broker.start(&error), qPrintable(error));
    Sim sim;
    QVERIFY(sim.start({}));
    const QString site = writeSite(m_dir, QStringLiteral("s1.ini"),
                                   QStringLiteral("[p]\nport=%1\nbaud=9600\n").arg(sim.device));
    Subscriber sub(broker.port());
    // A retained command is one left on the broker before the gateway started.
    if (retain) {
        QTRY_VERIFY_WITH_TIMEOUT(sub.client->isConnected(), 5000);
        QVERIFY(sub.client->publish(topic, payload, true));
        QTRY_VERIFY_WITH_TIMEOUT(sub.last.contains(topic), 5000);
    }
    Gateway gateway;
    QVERIFY(gateway.start(site, broker.port(), QStringLiteral("s1")));
    QTRY_COMPARE_WITH_TIMEOUT(sub.last.value("tavo/s1/p/availability"), QByteArray("online"),
                              10000);
    if (!retain)
        QVERIFY(sub.client->publish(topic, payload, false));
    QTRY_VERIFY_WITH_TIMEOUT(sub.last.contains(errorTopic), 5000);
    const QJsonObject refusal = sub.json(errorTopic);
    QVERIFY2(refusal.value("error").toString().contains(reason),
             qPrintable(refusal.value("error").toString()));
    QCOMPARE(refusal.value("topic").toString(), topic);
    for (const QString& command : sim.received())
        QVERIFY2(command.startsWith(QLatin1String("CR")), qPrintable(command));
    if (retain)
        sub.client->publish(topic, QByteArray(), true); // leave the broker clean
    QCOMPARE(gateway.stop(), 0);
}

void TestGatewayMqtt::twoGatewaysOneBroker() {
    MosquittoBroker broker;
    QString error;
    QVERIFY2(broker.start(&error), qPrintable(error));
    Sim one, two;
    QVERIFY(one.start({"--quiet"}));
    QVERIFY(two.start({"--quiet", "--lamp-hours", "3100"}));
    const QString north = writeSite(m_dir, QStringLiteral("north.ini"),
                                    QStringLiteral("[a]\nport=%1\nbaud=9600\n").arg(one.device));
    const QString south = writeSite(m_dir, QStringLiteral("south.ini"),
                                    QStringLiteral("[a]\nport=%1\nbaud=9600\n").arg(two.device));
    Gateway first, second;
    QVERIFY(first.start(north, broker.port(), QStringLiteral("north")));
    QVERIFY(second.start(south, broker.port(), QStringLiteral("south")));
    Subscriber sub(broker.port());
    QTRY_COMPARE_WITH_TIMEOUT(sub.json("tavo/north/a/state").value("lamp_hours").toInt(), 1234,
                              10000);
    QTRY_COMPARE_WITH_TIMEOUT(sub.json("tavo/south/a/state").value("lamp_hours").toInt(), 3100,
                              10000);
    // One stopping leaves the other's site alone.
    QCOMPARE(first.stop(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(sub.last.value("tavo/north/gateway/availability"),
                              QByteArray("offline"), 5000);
    QCOMPARE(sub.last.value("tavo/south/gateway/availability"), QByteArray("online"));
    QCOMPARE(second.stop(), 0);
}

// Home Assistant's birth message brings the configs again; a projector gone from the site file
// has its configs and retained topics cleared at the next start, the others keep theirs.
void TestGatewayMqtt::discoveryFollowsTheSiteAndHomeAssistant() {
    MosquittoBroker broker;
    QString error;
    QVERIFY2(broker.start(&error), qPrintable(error));
    Sim one, two;
    QVERIFY(one.start({"--quiet"}));
    QVERIFY(two.start({"--quiet"}));
    const QString both = writeSite(m_dir, QStringLiteral("west.ini"),
                                   QStringLiteral("[a]\nport=%1\nbaud=9600\n[b]\nport=%2\n"
                                                  "baud=9600\n")
                                       .arg(one.device, two.device));
    const QString bConfig = QStringLiteral("homeassistant/switch/tavo_west/b_power/config");
    const QString aConfig = QStringLiteral("homeassistant/switch/tavo_west/a_power/config");
    Subscriber sub(broker.port());
    {
        Gateway gateway;
        QVERIFY(gateway.start(both, broker.port(), QStringLiteral("west")));
        QTRY_VERIFY_WITH_TIMEOUT(!sub.last.value(bConfig).isEmpty(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(sub.last.value("tavo/west/b/availability"), QByteArray("online"),
                                  10000);
        const int before = int(sub.seen.count(aConfig));
        QVERIFY(sub.client->publish("homeassistant/status", "online", false));
        QTRY_VERIFY_WITH_TIMEOUT(sub.seen.count(aConfig) > before, 5000);
        QCOMPARE(gateway.stop(), 0);
    }
    const QString onlyA = writeSite(m_dir, QStringLiteral("west.ini"),
                                    QStringLiteral("[a]\nport=%1\nbaud=9600\n").arg(one.device));
    Gateway gateway;
    QVERIFY(gateway.start(onlyA, broker.port(), QStringLiteral("west")));
    QTRY_VERIFY_WITH_TIMEOUT(sub.last.contains(bConfig) && sub.last.value(bConfig).isEmpty(),
                             10000);
    QTRY_VERIFY_WITH_TIMEOUT(sub.last.value("tavo/west/b/state").isEmpty(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(sub.last.value("tavo/west/b/availability").isEmpty(), 5000);
    QVERIFY(!sub.last.value(aConfig).isEmpty());
    QCOMPARE(sub.last.value("tavo/west/gateway/availability"), QByteArray("online"));
    QCOMPARE(gateway.stop(), 0);
}

void TestGatewayMqtt::badSiteFileIsRefused_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a slash in a name") << "[room/one]\nport=/dev/null\n"
                                       << "bad.ini:1:";
    QTest::newRow("a space in a name") << "[hall left]\nport=/dev/null\n"
                                       << "bad.ini:1:";
    QTest::newRow("no port") << "[a]\nroom=x\n"
                             << "no port";
    QTest::newRow("unknown key") << "[a]\nport=/dev/null\ncolour=red\n"
                                 << "bad.ini:3:";
    QTest::newRow("bad baud") << "[a]\nport=/dev/null\nbaud=300\n"
                              << "bad.ini:3:";
    QTest::newRow("the gateway's own name") << "[gateway]\nport=/dev/null\n"
                                            << "bad.ini:1:";
    QTest::newRow("a duplicate section") << "[a]\nport=/dev/null\n[a]\nport=/dev/null\n"
                                         << "bad.ini:3:";
}

void TestGatewayMqtt::badSiteFileIsRefused() {
    QFETCH(QString, text);
    QFETCH(QString, reason);
    const QString site = writeSite(m_dir, QStringLiteral("bad.ini"), text);
    QProcess check;
    check.start(QStringLiteral(MX7300_GATEWAY_PATH), {"--site", site, "--check"});
    QVERIFY(check.waitForFinished(10000));
    QCOMPARE(check.exitCode(), 2);
    const QByteArray err = check.readAllStandardError();
    QVERIFY2(err.contains(reason.toUtf8()), err.constData());
    QCOMPARE(err.count('\n'), 1);
}

QTEST_GUILESS_MAIN(TestGatewayMqtt)
#include "tst_gateway_mqtt.moc"
