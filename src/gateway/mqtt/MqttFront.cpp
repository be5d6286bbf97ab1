#include "MqttFront.h"

#include "Gateway.h"
#include "MqttClient.h"

#include "CommandText.h"
#include "ExchangeJson.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace tavo::gateway {
namespace {

const QString kHomeAssistantStatus = QStringLiteral("homeassistant/status");

QByteArray compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// A payload as text for an error message: printable ASCII as it is, the rest escaped.
QString shown(const QByteArray& payload) {
    QString out;
    for (const char c : payload.left(64)) {
        const auto byte = static_cast<quint8>(c);
        out += byte >= 0x20 && byte < 0x7F
                   ? QString(QLatin1Char(c))
                   : QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    return payload.size() > 64 ? out + QStringLiteral("…") : out;
}

} // namespace

MqttFront::MqttFront(Gateway& gateway, MqttClient& client, QObject* parent)
    : QObject(parent), m_gateway(gateway), m_client(client),
      m_availability(size_t(gateway.projectorCount()), -1) {
    m_topics.site = gateway.site().name;
    m_republish.setTimerType(Qt::PreciseTimer);
    m_republish.setInterval(kRepublishMs);
    connect(&m_republish, &QTimer::timeout, this, [this] {
        for (int i = 0; i < m_gateway.projectorCount(); ++i)
            publishState(i);
    });
    connect(&m_client, &MqttClient::connected, this, &MqttFront::publishAll);
    connect(&m_client, &MqttClient::messageReceived, this, &MqttFront::onMessage);
    connect(&m_gateway, &Gateway::stateChanged, this, &MqttFront::publishState);
    m_ours << m_topics.gatewayAvailability();
    for (int i = 0; i < gateway.projectorCount(); ++i) {
        const QString name = gateway.projector(i).name;
        m_ours << m_topics.of(name, QStringLiteral("state"))
               << m_topics.of(name, QStringLiteral("availability"));
        for (const DiscoveryConfig& config : discoveryConfigs(m_topics, gateway.projector(i)))
            m_ours << config.topic;
    }
}

void MqttFront::start() {
    const QString base = m_topics.base();
    m_client.subscribe(base + QStringLiteral("+/set/power"));
    m_client.subscribe(base + QStringLiteral("+/set/input"));
    m_client.subscribe(base + QStringLiteral("+/send"));
    m_client.subscribe(kHomeAssistantStatus);
    // What earlier starts left retained, so that projectors since removed from the site can be
    // cleared.
    m_client.subscribe(discoveryFilter(m_topics.site));
    m_client.subscribe(base + QStringLiteral("+/state"));
    m_client.subscribe(base + QStringLiteral("+/availability"));
    m_republish.start();
}

void MqttFront::publishAll() {
    m_client.publish(m_topics.gatewayAvailability(), "online", true);
    publishDiscovery();
    std::fill(m_availability.begin(), m_availability.end(), -1);
    for (int i = 0; i < m_gateway.projectorCount(); ++i)
        publishState(i);
}

void MqttFront::publishDiscovery() {
    for (int i = 0; i < m_gateway.projectorCount(); ++i)
        for (const DiscoveryConfig& config : discoveryConfigs(m_topics, m_gateway.projector(i)))
            m_client.publish(config.topic, config.payload, true);
}

void MqttFront::publishState(int index) {
    const ProjectorConfig& projector = m_gateway.projector(index);
    const ProjectorState& state = m_gateway.state(index);
    const int available = state.available ? 1 : 0;
    if (m_availability[size_t(index)] != available &&
        m_client.publish(m_topics.of(projector.name, QStringLiteral("availability")),
                         available ? "online" : "offline", true))
        m_availability[size_t(index)] = available;
    m_client.publish(m_topics.of(projector.name, QStringLiteral("state")),
                     compact(stateJson(projector, state)), true);
}

// A retained topic of this site that no projector of this start owns is what a removed one
// left behind: cleared with an empty retained payload.
void MqttFront::clearLeftOver(const QString& topic, const QByteArray& payload) {
    if (payload.isEmpty() || m_ours.contains(topic))
        return;
    m_client.publish(topic, QByteArray(), true);
}

void MqttFront::onMessage(const QString& topic, const QByteArray& payload, bool retained) {
    if (topic == kHomeAssistantStatus) {
        if (payload == "online")
            publishDiscovery();
        return;
    }
    if (topic.startsWith(QLatin1String("homeassistant/"))) {
        if (retained)
            clearLeftOver(topic, payload);
        return;
    }
    const QString base = m_topics.base();
    if (!topic.startsWith(base))
        return;
    const QString rest = topic.mid(base.size());
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    if (slash <= 0)
        return;
    const QString name = rest.left(slash);
    const QString leaf = rest.mid(slash + 1);
    if (leaf == QLatin1String("state") || leaf == QLatin1String("availability")) {
        if (retained)
            clearLeftOver(topic, payload);
        return;
    }
    const int index = m_gateway.indexOf(name);
    if (index < 0) {
        refuse(-1, topic, payload, QStringLiteral("the site has no projector \"%1\"").arg(name));
        return;
    }
    // A command left retained on the broker would run again at every start.
    if (retained) {
        refuse(index, topic, payload,
               QStringLiteral("a retained command is not carried out; publish it without retain"));
        return;
    }
    onCommand(index, leaf, payload);
}

void MqttFront::onCommand(int index, const QString& leaf, const QByteArray& payload) {
    const QString topic = m_topics.of(m_gateway.projector(index).name, leaf);
    if (payload.size() > kMaxPayload) {
        refuse(index, topic, payload,
               QStringLiteral("the payload is over %1 bytes").arg(kMaxPayload));
        return;
    }
    QByteArray command;
    if (leaf == QLatin1String("set/power")) {
        if (payload != "on" && payload != "off") {
            refuse(index, topic, payload, QStringLiteral("set/power takes on or off"));
            return;
        }
        command = Gateway::powerCommand(payload == "on");
    } else if (leaf == QLatin1String("set/input")) {
        bool ok = false;
        const int input = payload.size() == 1 ? payload.toInt(&ok) : 0;
        const auto selected = ok ? Gateway::inputCommand(input) : std::nullopt;
        if (!selected) {
            refuse(index, topic, payload, QStringLiteral("set/input takes 1, 2, 3 or 4"));
            return;
        }
        command = *selected;
    } else if (leaf == QLatin1String("send")) {
        // The command's text as typed in the console: one byte per character, Latin-1.
        const QString text = QString::fromUtf8(payload);
        if (text.isEmpty() || text.toUtf8() != payload) {
            refuse(index, topic, payload, QStringLiteral("send takes a command's text in UTF-8"));
            return;
        }
        QString why;
        const auto bytes = commandTextBytes(text, &why);
        if (!bytes) {
            refuse(index, topic, payload, QStringLiteral("send: %1; nothing was sent").arg(why));
            return;
        }
        command = *bytes;
    } else {
        refuse(index, topic, payload, QStringLiteral("unknown command topic \"%1\"").arg(leaf));
        return;
    }
    const ProjectorConfig projector = m_gateway.projector(index);
    const bool wantsReply = leaf == QLatin1String("send");
    m_gateway.submit(
        index, command,
        [this, index, topic, payload, projector, wantsReply](const Exchange& exchange) {
            const bool wentOut = exchange.status != Exchange::Status::Failed &&
                                 exchange.status != Exchange::Status::Busy;
            if (wantsReply && wentOut) {
                m_client.publish(m_topics.of(projector.name, QStringLiteral("reply")),
                                 compact(exchangeJson(projector.name, projector.target,
                                                      projector.address, exchange)),
                                 false);
                return;
            }
            if (exchange.status != Exchange::Status::Ok)
                refuse(index, topic, payload, exchange.error);
        });
}

void MqttFront::refuse(int index, const QString& topic, const QByteArray& payload,
                       const QString& why) {
    const QString errorTopic =
        index < 0 ? m_topics.base() + QStringLiteral("gateway/error")
                  : m_topics.of(m_gateway.projector(index).name, QStringLiteral("error"));
    m_client.publish(
        errorTopic,
        compact(QJsonObject{{"topic", topic}, {"payload", shown(payload)}, {"error", why}}), false);
}

} // namespace tavo::gateway
