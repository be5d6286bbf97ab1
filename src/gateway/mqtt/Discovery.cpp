#include "Discovery.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace tavo::gateway {
namespace {

struct Entity {
    const char* component;
    const char* object;
    const char* name;
    QJsonObject fields;
};

QString problemTemplate(const char* words) {
    return QStringLiteral("{{ 'ON' if value_json.power == '%1' else 'OFF' }}")
        .arg(QLatin1String(words));
}

QString temperatureTemplate(int sensor) {
    return QStringLiteral("{{ value_json.temperatures[%1] if value_json.temperatures else None }}")
        .arg(sensor);
}

} // namespace

QString discoveryNode(const QString& site) {
    return QStringLiteral("tavo_%1").arg(site);
}

QString discoveryFilter(const QString& site) {
    return QStringLiteral("homeassistant/+/%1/+/config").arg(discoveryNode(site));
}

QList<DiscoveryConfig> discoveryConfigs(const SiteTopics& topics,
                                        const ProjectorConfig& projector) {
    const QString state = topics.of(projector.name, QStringLiteral("state"));
    const QString availability = topics.of(projector.name, QStringLiteral("availability"));
    const QString id = QStringLiteral("%1_%2").arg(discoveryNode(topics.site), projector.name);

    QJsonObject device{{"identifiers", QJsonArray{id}},
                       {"name", projector.name},
                       {"model", "MX7300"},
                       {"manufacturer", "TAVO"}};
    if (!projector.room.isEmpty())
        device.insert(QStringLiteral("suggested_area"), projector.room);

    const QList<Entity> entities{
        {"switch",
         "power",
         "Power",
         {{"state_topic", state},
          {"value_template",
           "{{ 'on' if value_json.power in ['Power ON', 'Count down'] else 'off' }}"},
          {"command_topic", topics.of(projector.name, QStringLiteral("set/power"))},
          {"payload_on", "on"},
          {"payload_off", "off"},
          {"state_on", "on"},
          {"state_off", "off"}}},
        {"select",
         "input",
         "Input",
         {{"state_topic", state},
          {"value_template", "{% set inputs = {'Input 1': '1', 'Input 2': '2', 'Input 3': '3', "
                             "'Wired': '4'} %}{{ inputs.get(value_json.input, 'unknown') }}"},
          {"command_topic", topics.of(projector.name, QStringLiteral("set/input"))},
          {"options", QJsonArray{"1", "2", "3", "4"}}}},
        {"sensor",
         "lamp_hours",
         "Lamp hours",
         {{"state_topic", state},
          {"value_template", "{{ value_json.lamp_hours }}"},
          {"device_class", "duration"},
          {"unit_of_measurement", "h"},
          {"state_class", "total_increasing"}}},
        {"sensor",
         "temperature_1",
         "Temperature 1",
         {{"state_topic", state},
          {"value_template", temperatureTemplate(0)},
          {"device_class", "temperature"},
          {"unit_of_measurement", "°C"},
          {"state_class", "measurement"}}},
        {"sensor",
         "temperature_2",
         "Temperature 2",
         {{"state_topic", state},
          {"value_template", temperatureTemplate(1)},
          {"device_class", "temperature"},
          {"unit_of_measurement", "°C"},
          {"state_class", "measurement"}}},
        {"sensor",
         "temperature_3",
         "Temperature 3",
         {{"state_topic", state},
          {"value_template", temperatureTemplate(2)},
          {"device_class", "temperature"},
          {"unit_of_measurement", "°C"},
          {"state_class", "measurement"}}},
        {"binary_sensor",
         "reachable",
         "Reachable",
         {{"state_topic", availability},
          {"payload_on", "online"},
          {"payload_off", "offline"},
          {"device_class", "connectivity"}}},
        {"binary_sensor",
         "lamp_problem",
         "Lamp",
         {{"state_topic", state},
          {"value_template", problemTemplate("Lamp Failure")},
          {"device_class", "problem"}}},
        {"binary_sensor",
         "temperature_problem",
         "Temperature",
         {{"state_topic", state},
          {"value_template", problemTemplate("Temperature abnormality")},
          {"device_class", "problem"}}},
        {"binary_sensor",
         "power_problem",
         "Power",
         {{"state_topic", state},
          {"value_template", problemTemplate("Power abnormality")},
          {"device_class", "problem"}}},
    };

    QList<DiscoveryConfig> configs;
    for (const Entity& entity : entities) {
        const QString object = QStringLiteral("%1_%2").arg(projector.name, entity.object);
        QJsonObject config = entity.fields;
        config.insert(QStringLiteral("name"), QLatin1String(entity.name));
        config.insert(QStringLiteral("unique_id"), QStringLiteral("%1_%2").arg(id, entity.object));
        config.insert(QStringLiteral("object_id"), QStringLiteral("%1_%2").arg(id, entity.object));
        config.insert(QStringLiteral("device"), device);
        // The reachable sensor says itself when the projector is not; the rest go unavailable.
        QJsonArray available{QJsonObject{{"topic", topics.gatewayAvailability()}}};
        if (QLatin1String(entity.object) != QLatin1String("reachable"))
            available.append(QJsonObject{{"topic", availability}});
        config.insert(QStringLiteral("availability"), available);
        config.insert(QStringLiteral("availability_mode"), QStringLiteral("all"));
        configs << DiscoveryConfig{
            QStringLiteral("homeassistant/%1/%2/%3/config")
                .arg(QLatin1String(entity.component), discoveryNode(topics.site), object),
            QJsonDocument(config).toJson(QJsonDocument::Compact)};
    }
    return configs;
}

} // namespace tavo::gateway
