#pragma once

#include "Discovery.h"

#include <QObject>
#include <QSet>
#include <QTimer>

#include <vector>

namespace tavo {
class MqttClient;
}

namespace tavo::gateway {

class Gateway;

// The site on MQTT: retained availability and state for every projector, Home Assistant's
// discovery, and the commands set/power, set/input and send, answered on reply or error. It
// translates between topics and the gateway; it never talks to a port.
class MqttFront : public QObject {
    Q_OBJECT

public:
    // Payloads longer than this are refused unread.
    static constexpr int kMaxPayload = 256;
    static constexpr int kRepublishMs = 5 * 60 * 1000;

    MqttFront(Gateway& gateway, MqttClient& client, QObject* parent = nullptr);

    // Subscribes; everything is published as the client connects, and again on each reconnect.
    void start();
    QString gatewayAvailabilityTopic() const { return m_topics.gatewayAvailability(); }

private:
    void publishAll();
    void publishDiscovery();
    void publishState(int index);
    void onMessage(const QString& topic, const QByteArray& payload, bool retained);
    void onCommand(int index, const QString& leaf, const QByteArray& payload);
    void refuse(int index, const QString& topic, const QByteArray& payload, const QString& why);
    void clearLeftOver(const QString& topic, const QByteArray& payload);

    Gateway& m_gateway;
    MqttClient& m_client;
    SiteTopics m_topics;
    QTimer m_republish;
    std::vector<int> m_availability; // last published: -1 none, 0 offline, 1 online
    QSet<QString> m_ours;            // the retained topics this start owns
};

} // namespace tavo::gateway
