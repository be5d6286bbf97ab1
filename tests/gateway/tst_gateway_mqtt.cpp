// mx7300-gateway as a process against a real mosquitto, with simulated projectors on
// pseudo-terminals, one of them behind a real ser2net.
#include "FreePorts.h"
#include "MosquittoBroker.h"
#include "Ser2netServer.h"

#include "MqttClient.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
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
                             history.append({topic, payload});
                         });
        client->subscribe(QStringLiteral("#"));
        client->start();
    }
    QJsonObject json(const QString& topic) const {
        return QJsonDocument::fromJson(last.value(topic)).object();
    }
    std::unique_ptr<MqttClient> client;
    // The retained discovery configs as they stand now.
    QHash<QString, QByteArray> configs() const {
        QHash<QString, QByteArray> out;
        for (auto it = last.begin(); it != last.end(); ++it)
            if (it.key().endsWith(QLatin1String("/config")) && !it.value().isEmpty())
                out.insert(it.key(), it.value());
        return out;
    }
    QHash<QString, QByteArray> last;
    QStringList seen;
    QList<QPair<QString, QByteArray>> history;
};

class Gateway {
public:
    bool start(const QString& siteFile, quint16 brokerPort, const QString& name,
               const QStringList& more = {}) {
        m_process.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        m_process.start(QStringLiteral(MX7300_GATEWAY_PATH),
                        QStringList{QStringLiteral("--site"), siteFile, QStringLiteral("--name"),
                                    name, QStringLiteral("--mqtt"),
                                    QStringLiteral("mqtt://127.0.0.1:%1").arg(brokerPort),
                                    QStringLiteral("--poll"), QStringLiteral("1")} +
                            more);
        return m_process.waitForStarted(5000);
    }
    // Exit status once it ends by itself within `ms`, else -1.
    int waitForExit(int ms) {
        if (!m_process.waitForFinished(ms))
            return -1;
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
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

// What Home Assistant's MQTT discovery accepts per platform (its MQTT integration's
// documentation for switch, select, sensor and binary_sensor, and the keys all of them share).
enum class Kind { Text, Bool, Int, Texts, Availability, Device, Origin };

const QHash<QString, Kind> kCommonKeys{{"name", Kind::Text},
                                       {"unique_id", Kind::Text},
                                       {"object_id", Kind::Text},
                                       {"availability", Kind::Availability},
                                       {"availability_mode", Kind::Text},
                                       {"availability_topic", Kind::Text},
                                       {"availability_template", Kind::Text},
                                       {"payload_available", Kind::Text},
                                       {"payload_not_available", Kind::Text},
                                       {"device", Kind::Device},
                                       {"origin", Kind::Origin},
                                       {"enabled_by_default", Kind::Bool},
                                       {"entity_category", Kind::Text},
                                       {"icon", Kind::Text},
                                       {"json_attributes_topic", Kind::Text},
                                       {"json_attributes_template", Kind::Text},
                                       {"qos", Kind::Int},
                                       {"encoding", Kind::Text}};

struct Platform {
    QHash<QString, Kind> keys;
    QStringList required;
    QStringList deviceClasses;
};

const QHash<QString, Platform> kPlatforms{
    {"switch",
     {{{"command_topic", Kind::Text},
       {"state_topic", Kind::Text},
       {"value_template", Kind::Text},
       {"payload_on", Kind::Text},
       {"payload_off", Kind::Text},
       {"state_on", Kind::Text},
       {"state_off", Kind::Text},
       {"optimistic", Kind::Bool},
       {"retain", Kind::Bool},
       {"device_class", Kind::Text}},
      {"command_topic"},
      {"outlet", "switch"}}},
    {"select",
     {{{"command_topic", Kind::Text},
       {"command_template", Kind::Text},
       {"state_topic", Kind::Text},
       {"value_template", Kind::Text},
       {"options", Kind::Texts},
       {"optimistic", Kind::Bool},
       {"retain", Kind::Bool}},
      {"command_topic", "options"},
      {}}},
    {"sensor",
     {{{"state_topic", Kind::Text},
       {"value_template", Kind::Text},
       {"device_class", Kind::Text},
       {"state_class", Kind::Text},
       {"unit_of_measurement", Kind::Text},
       {"expire_after", Kind::Int},
       {"force_update", Kind::Bool},
       {"suggested_display_precision", Kind::Int},
       {"last_reset_value_template", Kind::Text},
       {"options", Kind::Texts}},
      {"state_topic"},
      {"apparent_power",
       "aqi",
       "atmospheric_pressure",
       "battery",
       "carbon_dioxide",
       "carbon_monoxide",
       "current",
       "data_rate",
       "data_size",
       "date",
       "distance",
       "duration",
       "energy",
       "energy_storage",
       "enum",
       "frequency",
       "gas",
       "humidity",
       "illuminance",
       "irradiance",
       "moisture",
       "monetary",
       "nitrogen_dioxide",
       "nitrogen_monoxide",
       "nitrous_oxide",
       "ozone",
       "ph",
       "pm1",
       "pm10",
       "pm25",
       "power_factor",
       "power",
       "precipitation",
       "precipitation_intensity",
       "pressure",
       "reactive_power",
       "signal_strength",
       "sound_pressure",
       "speed",
       "sulphur_dioxide",
       "temperature",
       "timestamp",
       "volatile_organic_compounds",
       "volatile_organic_compounds_parts",
       "voltage",
       "volume",
       "volume_storage",
       "water",
       "weight",
       "wind_speed"}}},
    {"binary_sensor",
     {{{"state_topic", Kind::Text},
       {"value_template", Kind::Text},
       {"device_class", Kind::Text},
       {"payload_on", Kind::Text},
       {"payload_off", Kind::Text},
       {"expire_after", Kind::Int},
       {"force_update", Kind::Bool},
       {"off_delay", Kind::Int}},
      {"state_topic"},
      {"battery",
       "battery_charging",
       "carbon_monoxide",
       "cold",
       "connectivity",
       "door",
       "garage_door",
       "gas",
       "heat",
       "light",
       "lock",
       "moisture",
       "motion",
       "moving",
       "occupancy",
       "opening",
       "plug",
       "power",
       "presence",
       "problem",
       "running",
       "safety",
       "smoke",
       "sound",
       "tamper",
       "update",
       "vibration",
       "window"}}},
};

const QHash<QString, Kind> kDeviceKeys{
    {"identifiers", Kind::Texts},   {"connections", Kind::Texts},
    {"name", Kind::Text},           {"model", Kind::Text},
    {"manufacturer", Kind::Text},   {"sw_version", Kind::Text},
    {"hw_version", Kind::Text},     {"serial_number", Kind::Text},
    {"suggested_area", Kind::Text}, {"configuration_url", Kind::Text},
    {"via_device", Kind::Text}};
const QHash<QString, Kind> kOriginKeys{
    {"name", Kind::Text}, {"sw_version", Kind::Text}, {"support_url", Kind::Text}};
const QHash<QString, Kind> kAvailabilityKeys{{"topic", Kind::Text},
                                             {"payload_available", Kind::Text},
                                             {"payload_not_available", Kind::Text},
                                             {"value_template", Kind::Text}};

bool hasKind(const QJsonValue& value, Kind kind) {
    switch (kind) {
    case Kind::Text:
        return value.isString();
    case Kind::Bool:
        return value.isBool();
    case Kind::Int:
        return value.isDouble() && value.toDouble() == double(value.toInteger());
    case Kind::Texts: {
        const QJsonArray list = value.toArray();
        return value.isArray() && !list.isEmpty() &&
               std::all_of(list.begin(), list.end(),
                           [](const QJsonValue& v) { return v.isString(); });
    }
    case Kind::Availability:
    case Kind::Device:
    case Kind::Origin:
        return value.isObject() || (kind == Kind::Availability && value.isArray());
    }
    return false;
}

QStringList keyProblems(const QString& where, const QJsonObject& object,
                        const QHash<QString, Kind>& keys) {
    QStringList problems;
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!keys.contains(it.key()))
            problems << QStringLiteral("%1: unknown key %2").arg(where, it.key());
        else if (!hasKind(it.value(), keys.value(it.key())))
            problems << QStringLiteral("%1: %2 has the wrong type").arg(where, it.key());
    }
    return problems;
}

// Every way a discovery config could be refused or warned about by Home Assistant.
QStringList schemaProblems(const QString& topic, const QByteArray& payload) {
    static const QRegularExpression topicForm(
        QStringLiteral("\\A[a-z_]+/([a-z_]+)/[a-zA-Z0-9_-]+/[a-zA-Z0-9_-]+/config\\z"));
    const auto match = topicForm.match(topic);
    if (!match.hasMatch())
        return {topic + QStringLiteral(": not a discovery topic")};
    const QString component = match.captured(1);
    if (!kPlatforms.contains(component))
        return {topic + QStringLiteral(": unknown platform")};
    const Platform& platform = kPlatforms[component];
    const QJsonObject config = QJsonDocument::fromJson(payload).object();
    QHash<QString, Kind> keys = kCommonKeys;
    keys.insert(platform.keys);
    QStringList problems = keyProblems(topic, config, keys);
    for (const QString& key : platform.required + QStringList{"unique_id", "name", "device"})
        if (!config.contains(key))
            problems << topic + QStringLiteral(": no ") + key;
    const QString deviceClass = config.value("device_class").toString();
    if (config.contains("device_class") && !platform.deviceClasses.contains(deviceClass))
        problems << topic + QStringLiteral(": device_class ") + deviceClass;
    const QString unit = config.value("unit_of_measurement").toString();
    if ((deviceClass == "duration" && !QStringList{"d", "h", "min", "s", "ms"}.contains(unit)) ||
        (deviceClass == "temperature" && !QStringList{"°C", "°F", "K"}.contains(unit)) ||
        (deviceClass == "timestamp" &&
         (config.contains("unit_of_measurement") || config.contains("state_class"))))
        problems << topic + QStringLiteral(": unit or state class for ") + deviceClass;
    if (config.contains("state_class") &&
        !QStringList{"measurement", "total", "total_increasing"}.contains(
            config.value("state_class").toString()))
        problems << topic + QStringLiteral(": state_class");
    if (config.contains("entity_category") &&
        config.value("entity_category").toString() != QLatin1String("diagnostic") &&
        !(config.value("entity_category").toString() == QLatin1String("config") &&
          component != QLatin1String("sensor") && component != QLatin1String("binary_sensor")))
        problems << topic + QStringLiteral(": entity_category");
    if (config.contains("availability_mode") &&
        !QStringList{"all", "any", "latest"}.contains(config.value("availability_mode").toString()))
        problems << topic + QStringLiteral(": availability_mode");
    for (const QJsonValue& entry : config.value("availability").toArray()) {
        problems << keyProblems(topic + QStringLiteral(" availability"), entry.toObject(),
                                kAvailabilityKeys);
        if (!entry.toObject().contains("topic"))
            problems << topic + QStringLiteral(": an availability without a topic");
    }
    const QJsonObject device = config.value("device").toObject();
    problems << keyProblems(topic + QStringLiteral(" device"), device, kDeviceKeys);
    if (!device.contains("identifiers"))
        problems << topic + QStringLiteral(": a device without identifiers");
    const QString url = device.value("configuration_url").toString();
    if (device.contains("configuration_url") && !url.startsWith("http://") &&
        !url.startsWith("https://"))
        problems << topic + QStringLiteral(": configuration_url ") + url;
    const QJsonObject origin = config.value("origin").toObject();
    problems << keyProblems(topic + QStringLiteral(" origin"), origin, kOriginKeys);
    if (config.contains("origin") && !origin.contains("name"))
        problems << topic + QStringLiteral(": an origin without a name");
    // Home Assistant warns when an entity's name repeats its device's.
    if (config.value("name").toString().startsWith(device.value("name").toString()))
        problems << topic + QStringLiteral(": the name starts with the device's");
    return problems;
}

// Home Assistant's reading of `messages` for every entity of `configs` (ha_templates.py).
QJsonArray homeAssistantView(const QHash<QString, QByteArray>& configs,
                             const QList<QPair<QString, QByteArray>>& messages) {
    QJsonObject configObject;
    for (auto it = configs.begin(); it != configs.end(); ++it)
        configObject.insert(it.key(), QString::fromUtf8(it.value()));
    QJsonArray list;
    for (const auto& [topic, payload] : messages)
        list.append(QJsonArray{topic, QString::fromUtf8(payload)});
    QProcess python;
    python.start(QStringLiteral(PYTHON3_PATH), {QStringLiteral(HA_TEMPLATES_PATH)});
    if (!python.waitForStarted(5000))
        return {};
    python.write(
        QJsonDocument(QJsonObject{{"configs", configObject}, {"messages", list}}).toJson());
    python.closeWriteChannel();
    if (!python.waitForFinished(30000) || python.exitCode() != 0) {
        qWarning() << python.readAllStandardError();
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).array();
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
// following, a silent projector going offline and back, the broker killed and restarted, a
// clean stop and a restart; Home Assistant's reading of every state stays true throughout.
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
    const QStringList http{"--http", QStringLiteral("127.0.0.1:%1").arg(freePort())};
    auto gateway = std::make_unique<Gateway>();
    QVERIFY(gateway->start(site, broker.port(), QStringLiteral("campus"), http));

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

    // Discovery: every config as Home Assistant's schemas take it, the device as a user sees it.
    QTRY_COMPARE_WITH_TIMEOUT(sub.configs().size(), 4 + 2 * 11, 10000);
    QStringList problems;
    const QHash<QString, QByteArray> configs = sub.configs();
    for (auto it = configs.begin(); it != configs.end(); ++it)
        problems << schemaProblems(it.key(), it.value());
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
    const QJsonObject power = sub.json("homeassistant/switch/tavo_campus/hall_power/config");
    QCOMPARE(power.value("command_topic").toString(), QStringLiteral("tavo/campus/hall/set/power"));
    const QJsonObject device = power.value("device").toObject();
    QCOMPARE(device.value("suggested_area").toString(), QStringLiteral("campus 2.14"));
    QCOMPARE(device.value("name").toString(), QStringLiteral("campus hall"));
    QCOMPARE(device.value("via_device").toString(), QStringLiteral("tavo_campus_gateway"));
    QCOMPARE(device.value("configuration_url").toString(),
             QStringLiteral("http://%1/").arg(http[1]));
    QCOMPARE(sub.json("homeassistant/binary_sensor/tavo_campus/gateway_connected/config")
                 .value("device")
                 .toObject()
                 .value("identifiers")
                 .toArray()
                 .first()
                 .toString(),
             QStringLiteral("tavo_campus_gateway"));
    QTRY_COMPARE_WITH_TIMEOUT(sub.json("tavo/campus/gateway/state").value("projectors_online"),
                              QJsonValue(2), 15000);

    // A command reaches the wire and the state follows.
    QVERIFY(sub.client->publish("tavo/campus/hall/set/power", "on", false));
    QTRY_VERIFY_WITH_TIMEOUT(hall.received().contains("C00"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(sub.json("tavo/campus/hall/state").value("power").toString(),
                              QStringLiteral("Power ON"), 10000);
    QVERIFY(sub.client->publish("tavo/campus/hall/send", "CR3", false));
    QTRY_VERIFY_WITH_TIMEOUT(sub.last.contains("tavo/campus/hall/reply"), 5000);
    QCOMPARE(sub.json("tavo/campus/hall/reply").value("sent").toString(), QStringLiteral("CR3\r"));
    QCOMPARE(sub.json("tavo/campus/hall/reply").value("ok").toBool(), true);

    // A silent projector goes offline with its last readings kept, and comes back.
    hall.tell("fault silent on");
    QTRY_COMPARE_WITH_TIMEOUT(sub.last.value("tavo/campus/hall/availability"),
                              QByteArray("offline"), 10000);
    QTest::qWait(1500); // a state published with the drop would be here by now
    QCOMPARE(sub.json("tavo/campus/hall/state").value("power").toString(),
             QStringLiteral("Power ON"));
    QCOMPARE(sub.last.value("tavo/campus/lab/availability"), QByteArray("online"));
    hall.tell("fault silent off");
    QTRY_COMPARE_WITH_TIMEOUT(sub.last.value("tavo/campus/hall/availability"), QByteArray("online"),
                              10000);

    // The broker goes away: polling goes on without a storm, and on its return the retained
    // state is there again (this broker keeps nothing across a restart).
    QList<QPair<QString, QByteArray>> history = sub.history;
    broker.kill();
    const double cpuBefore = cpuSeconds(gateway->pid());
    QTest::qWait(4000);
    const double cpuDuring = cpuSeconds(gateway->pid()) - cpuBefore;
    QVERIFY2(cpuDuring < 1.0, qPrintable(QString::number(cpuDuring)));
    QVERIFY2(broker.start(&error), qPrintable(error));
    Subscriber later(broker.port());
    QTRY_COMPARE_WITH_TIMEOUT(later.json("tavo/campus/hall/state").value("power").toString(),
                              QStringLiteral("Power ON"), 40000);
    QTRY_COMPARE_WITH_TIMEOUT(later.configs().size(), 4 + 2 * 11, 10000);

    // A clean stop leaves every projector and the gateway offline, and frees the ports.
    QCOMPARE(gateway->stop(), 0);
    for (const char* topic : {"tavo/campus/gateway/availability", "tavo/campus/hall/availability",
                              "tavo/campus/lab/availability"})
        QTRY_COMPARE_WITH_TIMEOUT(later.last.value(topic), QByteArray("offline"), 5000);
    QVERIFY(!QFile::exists(QStringLiteral("/run/lock/LCK..") +
                           hall.device.mid(5).replace(QLatin1Char('/'), QLatin1Char('_'))));

    // A restart while the projector is on.
    gateway = std::make_unique<Gateway>();
    QVERIFY(gateway->start(site, broker.port(), QStringLiteral("campus"), http));
    QTRY_COMPARE_WITH_TIMEOUT(later.last.value("tavo/campus/hall/availability"),
                              QByteArray("online"), 15000);
    QCOMPARE(gateway->stop(), 0);

    // No state the gateway did not read, and nothing Home Assistant would not take: no "off"
    // for a projector that was on, no template error, no option it does not have.
    history += later.history;
    int firstOn = -1;
    for (int i = 0; i < history.size(); ++i) {
        if (!history[i].first.endsWith(QLatin1String("/state")) ||
            history[i].first.contains(QLatin1String("/gateway/")))
            continue;
        const QJsonObject state = QJsonDocument::fromJson(history[i].second).object();
        QVERIFY2(state.value("power").isString() && state.value("updated").isString(),
                 history[i].second.constData());
        if (firstOn < 0 && history[i].first == QLatin1String("tavo/campus/hall/state") &&
            state.value("power") == QLatin1String("Power ON"))
            firstOn = i;
    }
    QVERIFY(firstOn > 0);
    const QJsonArray view = homeAssistantView(later.configs(), history);
    QVERIFY(!view.isEmpty());
    int switchReadings = 0;
    for (const QJsonValue& reading : view) {
        const QJsonObject r = reading.toObject();
        QVERIFY2(r.value("problem").isNull(), qPrintable(QJsonDocument(r).toJson()));
        if (r.value("entity") == QLatin1String("tavo_campus_hall_power") &&
            r.value("index").toInt() > firstOn) {
            ++switchReadings;
            QCOMPARE(r.value("value").toString(), QStringLiteral("on"));
        }
    }
    QVERIFY(switchReadings >= 2);
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

// Two sites whose names joined would read alike keep apart in every identifier; a second
// gateway for a site already held leaves without touching it.
void TestGatewayMqtt::twoGatewaysOneBroker() {
    MosquittoBroker broker;
    QString error;
    QVERIFY2(broker.start(&error), qPrintable(error));
    Sim one, two, three;
    QVERIFY(one.start({"--quiet"}));
    QVERIFY(two.start({"--quiet", "--lamp-hours", "3100"}));
    QVERIFY(three.start({"--quiet"}));
    const QString north =
        writeSite(m_dir, QStringLiteral("north.ini"),
                  QStringLiteral("[annex_hall]\nport=%1\nbaud=9600\n").arg(one.device));
    const QString annex = writeSite(m_dir, QStringLiteral("north_annex.ini"),
                                    QStringLiteral("[hall]\nport=%1\nbaud=9600\n").arg(two.device));
    const QString copy =
        writeSite(m_dir, QStringLiteral("copy.ini"),
                  QStringLiteral("[other]\nport=%1\nbaud=9600\n").arg(three.device));
    Subscriber sub(broker.port());
    // What an earlier version left for site north_annex, under its unescaped node.
    const QString legacy =
        QStringLiteral("homeassistant/switch/tavo_north_annex/hall_power/config");
    QTRY_VERIFY_WITH_TIMEOUT(sub.client->isConnected(), 5000);
    QVERIFY(sub.client->publish(
        legacy, R"({"availability":[{"topic":"tavo/north_annex/gateway/availability"}]})", true));
    QTRY_VERIFY_WITH_TIMEOUT(sub.last.contains(legacy), 5000);
    Gateway first, second;
    QVERIFY(first.start(north, broker.port(), QStringLiteral("north")));
    QVERIFY(second.start(annex, broker.port(), QStringLiteral("north_annex")));
    QTRY_COMPARE_WITH_TIMEOUT(sub.json("tavo/north/annex_hall/state").value("lamp_hours").toInt(),
                              1234, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(sub.json("tavo/north_annex/hall/state").value("lamp_hours").toInt(),
                              3100, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(sub.configs().size(), 2 * (4 + 11), 10000);
    QVERIFY(!sub.configs().contains(legacy));
    QHash<QString, QString> owner; // identifier -> the site that has it
    const QHash<QString, QByteArray> configs = sub.configs();
    for (auto it = configs.begin(); it != configs.end(); ++it) {
        const QJsonObject config = QJsonDocument::fromJson(it.value()).object();
        const QString site = config.value("state_topic").toString().section('/', 1, 1);
        QStringList ids{config.value("unique_id").toString(), config.value("object_id").toString()};
        for (const QJsonValue& id :
             config.value("device").toObject().value("identifiers").toArray())
            ids << QStringLiteral("device ") + id.toString();
        for (const QString& id : ids) {
            QVERIFY2(owner.value(id, site) == site, qPrintable(id));
            owner.insert(id, site);
        }
    }
    QVERIFY(owner.values().contains("north") && owner.values().contains("north_annex"));

    // A copied site file under the same name: refused, and the holder never notices.
    const QByteArray claim = sub.last.value("tavo/north/gateway/claim");
    QCOMPARE(QJsonDocument::fromJson(claim).object().value("pid").toInteger(), first.pid());
    const QHash<QString, QByteArray> configsBefore = sub.configs();
    const qsizetype messagesBefore = sub.history.size();
    Gateway intruder;
    QVERIFY(intruder.start(copy, broker.port(), QStringLiteral("north")));
    QCOMPARE(intruder.waitForExit(15000), 4);
    QVERIFY2(intruder.log().contains("held on the broker by the gateway on"),
             intruder.log().constData());
    QTest::qWait(1500); // anything the intruder left would have arrived
    for (qsizetype i = messagesBefore; i < sub.history.size(); ++i)
        QVERIFY2(!sub.history[i].first.contains(QLatin1String("other")) &&
                     sub.history[i].first != QLatin1String("tavo/north/gateway/availability") &&
                     sub.history[i].first != QLatin1String("tavo/north/gateway/claim"),
                 qPrintable(sub.history[i].first));
    QCOMPARE(sub.configs(), configsBefore);
    QVERIFY2(!first.log().contains("broker: disconnected"), first.log().constData());

    // One stopping leaves the other's site alone.
    QCOMPARE(first.stop(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(sub.last.value("tavo/north/gateway/availability"),
                              QByteArray("offline"), 5000);
    QCOMPARE(sub.last.value("tavo/north_annex/gateway/availability"), QByteArray("online"));
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
        // Births while the first configs still go out are answered by them: wait for the last.
        QTRY_COMPARE_WITH_TIMEOUT(sub.configs().size(), 4 + 2 * 11, 10000);
        // A burst of births brings one republish, not one each.
        const int before = int(sub.seen.count(aConfig));
        for (int i = 0; i < 50; ++i)
            QVERIFY(sub.client->publish("homeassistant/status", "online", false));
        QTRY_VERIFY_WITH_TIMEOUT(sub.seen.count(aConfig) > before, 5000);
        QTest::qWait(2000);
        QCOMPARE(sub.seen.count(aConfig), before + 1);
        QCOMPARE(gateway.stop(), 0);
    }
    const QString onlyA = writeSite(m_dir, QStringLiteral("west.ini"),
                                    QStringLiteral("[a]\nport=%1\nbaud=9600\n").arg(one.device));
    // A config in the site's node that another publisher made is not the gateway's to clear.
    const QString foreign = QStringLiteral("homeassistant/sensor/tavo_west/x_power/config");
    QVERIFY(sub.client->publish(
        foreign, R"({"state_topic":"elsewhere","availability":[{"topic":"elsewhere"}]})", true));
    Gateway gateway;
    QVERIFY(gateway.start(onlyA, broker.port(), QStringLiteral("west")));
    QTRY_VERIFY_WITH_TIMEOUT(sub.last.contains(bConfig) && sub.last.value(bConfig).isEmpty(),
                             10000);
    QTRY_VERIFY_WITH_TIMEOUT(sub.last.value("tavo/west/b/state").isEmpty(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(sub.last.value("tavo/west/b/availability").isEmpty(), 5000);
    QVERIFY(!sub.last.value(aConfig).isEmpty());
    QVERIFY(!sub.last.value(foreign).isEmpty());
    QCOMPARE(sub.last.value("tavo/west/gateway/availability"), QByteArray("online"));
    QCOMPARE(gateway.stop(), 0);
    sub.client->publish(foreign, QByteArray(), true);
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
