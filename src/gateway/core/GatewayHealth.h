#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include <functional>
#include <vector>

namespace tavo::gateway {

class Gateway;

// Whether the gateway does its work, for probes and dashboards: healthy while its event loop
// answers (whoever asks is answered from it) and, when it was given a broker, the broker is
// connected; ready once every projector was polled once, answered or not.
class GatewayHealth : public QObject {
public:
    struct Verdict {
        bool ok = false;
        QString reason; // empty when ok
    };

    GatewayHealth(const Gateway& gateway, std::function<QDateTime()> wallClock,
                  QObject* parent = nullptr);

    // With --mqtt: health then needs the broker.
    void setBrokerRequired(bool required) { m_brokerRequired = required; }
    void setBrokerConnected(bool connected, const QString& reason = {});

    Verdict health() const;
    Verdict readiness() const;
    // {"healthy":…,"ready":…,"reason":…,"broker":{"required":…,"connected":…,"reason":…},
    //  "ports_open":N,"ports":N,"projectors":[{"name":…,"port_open":…,"last_poll":…,
    //  "last_answer":…}]}
    QJsonObject json() const;

private:
    const Gateway& m_gateway;
    std::function<QDateTime()> m_wallClock;
    bool m_brokerRequired = false;
    bool m_brokerConnected = false;
    QString m_brokerReason = QStringLiteral("not connected yet");
    std::vector<QDateTime> m_lastPoll; // by projector; invalid until its first poll
};

} // namespace tavo::gateway
