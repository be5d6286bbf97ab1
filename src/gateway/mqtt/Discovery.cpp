#include "Discovery.h"

#include "ProjectorCommand.h"
#include "StatusReads.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace tavo::gateway {
namespace {

// Which availability topics an entity follows.
enum class Gate { GatewayAndProjector, Gateway, None };

struct Entity {
    const char* component;
    const char* object;
    const char* name;
    QJsonObject fields;
    bool diagnostic = false;
    Gate gate = Gate::GatewayAndProjector;
};

// Every template gives Home Assistant's "no value" (None) for what the gateway does not know,
// never a state of its own: a switch that showed "off" for an unread power would fire
// automations for nothing.
QString problemTemplate(PowerState fault) {
    return QStringLiteral("{% set p = value_json.power %}"
                          "{{ None if p is none else 'ON' if p == '%1' else 'OFF' }}")
        .arg(wordsOf(fault));
}

QString temperatureTemplate(int sensor) {
    return QStringLiteral("{{ value_json.temperatures[%1] if value_json.temperatures else None }}")
        .arg(sensor);
}

// The select's options are the projector's own words for the inputs a command can choose; the
// others (Wireless/Viewer) show as no value rather than as an option that fails.
QStringList selectableInputs() {
    QStringList words;
    for (int input = 1; input <= commands::kSelectableInputs; ++input)
        words << inputWords(input);
    return words;
}

QString inputTemplate() {
    return QStringLiteral("{% set i = value_json.input %}{{ i if i in ['%1'] else None }}")
        .arg(selectableInputs().join(QStringLiteral("', '")));
}

QString inputCommand() {
    QStringList choices;
    for (const QString& words : selectableInputs())
        choices << QStringLiteral("'%1': '%2'").arg(words).arg(choices.size() + 1);
    return QStringLiteral("{{ {%1}[value] }}").arg(choices.join(QStringLiteral(", ")));
}

QString powerTemplate() {
    return QStringLiteral("{% set p = value_json.power %}"
                          "{{ 'on' if p in ['%1', '%2'] else 'off' if p == '%3' else None }}")
        .arg(wordsOf(PowerState::On), wordsOf(PowerState::CountDown), wordsOf(PowerState::Standby));
}

const char* const kAttributesTemplate =
    "{{ {'reversal': value_json.reversal, 'port': value_json.port, "
    "'address': value_json.address, 'updated': value_json.updated} | tojson }}";

QJsonObject origin(const DiscoveryLook& look) {
    QJsonObject o{{"name", "mx7300-gateway"}, {"sw_version", look.version}};
    if (!look.statusUrl.isEmpty())
        o.insert(QStringLiteral("support_url"), look.statusUrl);
    return o;
}

QString gatewayDeviceId(const SiteTopics& topics) {
    return discoveryNode(topics) + QStringLiteral("_gateway");
}

QList<DiscoveryConfig> build(const SiteTopics& topics, const DiscoveryLook& look,
                             const QString& topicObject, const QString& id,
                             const QJsonObject& device, const QList<Entity>& entities,
                             const QString& projectorAvailability = QString()) {
    QList<DiscoveryConfig> configs;
    for (const Entity& entity : entities) {
        QJsonObject config = entity.fields;
        const QString uniqueId = id + QLatin1Char('_') + QLatin1String(entity.object);
        config.insert(QStringLiteral("name"), QLatin1String(entity.name));
        config.insert(QStringLiteral("unique_id"), uniqueId);
        config.insert(QStringLiteral("object_id"), uniqueId);
        config.insert(QStringLiteral("device"), device);
        config.insert(QStringLiteral("origin"), origin(look));
        if (entity.diagnostic)
            config.insert(QStringLiteral("entity_category"), QStringLiteral("diagnostic"));
        if (entity.gate != Gate::None) {
            QJsonArray available{QJsonObject{{"topic", topics.gatewayAvailability()}}};
            if (entity.gate == Gate::GatewayAndProjector && !projectorAvailability.isEmpty())
                available.append(QJsonObject{{"topic", projectorAvailability}});
            config.insert(QStringLiteral("availability"), available);
            config.insert(QStringLiteral("availability_mode"), QStringLiteral("all"));
        }
        configs << DiscoveryConfig{QStringLiteral("%1/%2/%3/%4_%5/config")
                                       .arg(topics.haPrefix, QLatin1String(entity.component),
                                            discoveryNode(topics), topicObject,
                                            QLatin1String(entity.object)),
                                   QJsonDocument(config).toJson(QJsonDocument::Compact)};
    }
    return configs;
}

} // namespace

QString idPart(const QString& name) {
    QString out;
    out.reserve(name.size() + 4);
    for (const QChar c : name) {
        if (c == QLatin1Char('-'))
            out += QStringLiteral("--");
        else if (c == QLatin1Char('_'))
            out += QStringLiteral("-_");
        else if (c == QLatin1Char('/'))
            out += QStringLiteral("-s");
        else
            out += c;
    }
    return out;
}

QString discoveryNode(const SiteTopics& topics) {
    return idPart(topics.base) + QLatin1Char('_') + idPart(topics.site);
}

QString discoveryFilter(const SiteTopics& topics) {
    return QStringLiteral("%1/+/%2/+/config").arg(topics.haPrefix, discoveryNode(topics));
}

QList<DiscoveryConfig> projectorConfigs(const SiteTopics& topics, const DiscoveryLook& look,
                                        const ProjectorConfig& projector) {
    const QString state = topics.of(projector.name, QStringLiteral("state"));
    const QString availability = topics.of(projector.name, QStringLiteral("availability"));
    const QString part = idPart(projector.name);
    const QString id = discoveryNode(topics) + QLatin1Char('_') + part;

    QJsonObject device{{"identifiers", QJsonArray{id}},
                       {"name", QStringLiteral("%1 %2").arg(topics.site, projector.name)},
                       {"model", "MX7300"},
                       {"manufacturer", "TAVO"},
                       {"via_device", gatewayDeviceId(topics)}};
    if (!projector.room.isEmpty())
        device.insert(QStringLiteral("suggested_area"),
                      look.areaPrefix.isEmpty()
                          ? projector.room
                          : QStringLiteral("%1 %2").arg(look.areaPrefix, projector.room));
    if (!look.statusUrl.isEmpty())
        device.insert(QStringLiteral("configuration_url"), look.statusUrl);

    const auto problem = [&](const char* object, const char* name, PowerState fault) {
        return Entity{"binary_sensor",
                      object,
                      name,
                      {{"state_topic", state},
                       {"value_template", problemTemplate(fault)},
                       {"device_class", "problem"}},
                      true};
    };
    const auto temperature = [&](const char* object, const char* name, int sensor) {
        return Entity{"sensor",
                      object,
                      name,
                      {{"state_topic", state},
                       {"value_template", temperatureTemplate(sensor)},
                       {"device_class", "temperature"},
                       {"unit_of_measurement", "°C"},
                       {"state_class", "measurement"}}};
    };
    const QList<Entity> entities{
        {"switch",
         "power",
         "Power",
         {{"state_topic", state},
          {"value_template", powerTemplate()},
          {"command_topic", topics.of(projector.name, QStringLiteral("set/power"))},
          {"payload_on", "on"},
          {"payload_off", "off"},
          {"state_on", "on"},
          {"state_off", "off"},
          {"json_attributes_topic", state},
          {"json_attributes_template", kAttributesTemplate}}},
        {"select",
         "input",
         "Input",
         {{"state_topic", state},
          {"value_template", inputTemplate()},
          {"command_topic", topics.of(projector.name, QStringLiteral("set/input"))},
          {"command_template", inputCommand()},
          {"options", QJsonArray::fromStringList(selectableInputs())}}},
        {"sensor",
         "lamp_hours",
         "Lamp hours",
         {{"state_topic", state},
          {"value_template", "{{ value_json.lamp_hours }}"},
          {"device_class", "duration"},
          {"unit_of_measurement", "h"},
          {"state_class", "total_increasing"}}},
        temperature("temperature_1", "Temperature 1", 0),
        temperature("temperature_2", "Temperature 2", 1),
        temperature("temperature_3", "Temperature 3", 2),
        {"binary_sensor",
         "lamp_replacement_due",
         "Lamp replacement due",
         {{"state_topic", state},
          {"value_template", QStringLiteral("{% set h = value_json.lamp_hours %}"
                                            "{{ None if h is none else 'ON' if h >= %1 else "
                                            "'OFF' }}")
                                 .arg(projector.lampWarnHours)},
          {"device_class", "problem"}}},
        {"binary_sensor",
         "reachable",
         "Reachable",
         {{"state_topic", availability},
          {"payload_on", "online"},
          {"payload_off", "offline"},
          {"device_class", "connectivity"}},
         true,
         Gate::Gateway},
        problem("lamp_problem", "Lamp problem", PowerState::LampFault),
        problem("temperature_problem", "Temperature problem", PowerState::TemperatureFault),
        problem("power_problem", "Power problem", PowerState::PowerFault),
    };
    return build(topics, look, part, id, device, entities, availability);
}

QList<DiscoveryConfig> gatewayConfigs(const SiteTopics& topics, const DiscoveryLook& look) {
    const QString state = topics.gateway(QStringLiteral("state"));
    QJsonObject device{{"identifiers", QJsonArray{gatewayDeviceId(topics)}},
                       {"name", QStringLiteral("%1 gateway").arg(topics.site)},
                       {"model", "mx7300-gateway"},
                       {"manufacturer", "TAVO"},
                       {"sw_version", look.version}};
    if (!look.statusUrl.isEmpty())
        device.insert(QStringLiteral("configuration_url"), look.statusUrl);
    const QList<Entity> entities{
        // Not gated by availability: its whole point is to say when the gateway is away.
        {"binary_sensor",
         "connected",
         "Connected",
         {{"state_topic", topics.gatewayAvailability()},
          {"payload_on", "online"},
          {"payload_off", "offline"},
          {"device_class", "connectivity"}},
         true,
         Gate::None},
        {"sensor",
         "projectors_online",
         "Projectors online",
         {{"state_topic", state},
          {"value_template", "{{ value_json.projectors_online }}"},
          {"state_class", "measurement"}},
         true},
        {"sensor",
         "last_poll",
         "Last poll",
         {{"state_topic", state},
          {"value_template", "{{ value_json.last_poll }}"},
          {"device_class", "timestamp"}},
         true},
        {"sensor",
         "version",
         "Version",
         {{"state_topic", state}, {"value_template", "{{ value_json.version }}"}},
         true},
    };
    return build(topics, look, QStringLiteral("gateway"), gatewayDeviceId(topics), device,
                 entities);
}

bool isSiteConfig(const SiteTopics& topics, const QByteArray& payload) {
    const QJsonObject config = QJsonDocument::fromJson(payload).object();
    const QString ours = topics.gatewayAvailability();
    if (config.value(QStringLiteral("availability_topic")).toString() == ours ||
        config.value(QStringLiteral("state_topic")).toString() == ours)
        return true;
    const QJsonArray available = config.value(QStringLiteral("availability")).toArray();
    return std::any_of(available.begin(), available.end(), [&](const QJsonValue& entry) {
        return entry.toObject().value(QStringLiteral("topic")).toString() == ours;
    });
}

} // namespace tavo::gateway
