#include "GatewayHealth.h"

#include "Gateway.h"

#include <QJsonArray>
#include <QSet>

namespace tavo::gateway {

GatewayHealth::GatewayHealth(const Gateway& gateway, std::function<QDateTime()> wallClock,
                             QObject* parent)
    : QObject(parent), m_gateway(gateway), m_wallClock(std::move(wallClock)),
      m_lastPoll(size_t(gateway.projectorCount())) {
    connect(&gateway, &Gateway::polled, this,
            [this](int index) { m_lastPoll[size_t(index)] = m_wallClock(); });
    connect(&gateway, &Gateway::siteChanged, this, [this](const SiteChange& change) {
        std::vector<QDateTime> lastPoll;
        for (const int old : change.oldIndex)
            lastPoll.push_back(old >= 0 ? m_lastPoll[size_t(old)] : QDateTime());
        m_lastPoll = std::move(lastPoll);
    });
}

void GatewayHealth::setBrokerConnected(bool connected, const QString& reason) {
    m_brokerConnected = connected;
    m_brokerReason = connected ? QString() : reason;
}

GatewayHealth::Verdict GatewayHealth::health() const {
    if (m_brokerRequired && !m_brokerConnected)
        return {false, QStringLiteral("the broker is not connected (%1)").arg(m_brokerReason)};
    return {true, {}};
}

GatewayHealth::Verdict GatewayHealth::readiness() const {
    QStringList waiting;
    for (int i = 0; i < m_gateway.projectorCount(); ++i)
        if (!m_lastPoll[size_t(i)].isValid())
            waiting << m_gateway.projector(i).name;
    if (!waiting.isEmpty())
        return {false,
                QStringLiteral("not polled yet: %1").arg(waiting.join(QStringLiteral(", ")))};
    return health();
}

QJsonObject GatewayHealth::json() const {
    const auto time = [](const QDateTime& t) {
        return t.isValid() ? QJsonValue(t.toUTC().toString(Qt::ISODateWithMs)) : QJsonValue();
    };
    QJsonArray projectors;
    QSet<QString> ports, open;
    for (int i = 0; i < m_gateway.projectorCount(); ++i) {
        const QString target = m_gateway.projector(i).target;
        const bool isOpen = m_gateway.portOpen(i);
        ports.insert(target);
        if (isOpen)
            open.insert(target);
        projectors.append(
            QJsonObject{{QStringLiteral("name"), m_gateway.projector(i).name},
                        {QStringLiteral("port_open"), isOpen},
                        {QStringLiteral("last_poll"), time(m_lastPoll[size_t(i)])},
                        {QStringLiteral("last_answer"), time(m_gateway.state(i).updated)}});
    }
    const Verdict healthy = health();
    const Verdict ready = readiness();
    return QJsonObject{
        {QStringLiteral("healthy"), healthy.ok},
        {QStringLiteral("ready"), ready.ok},
        {QStringLiteral("reason"), ready.reason},
        {QStringLiteral("broker"),
         QJsonObject{{QStringLiteral("required"), m_brokerRequired},
                     {QStringLiteral("connected"), m_brokerConnected},
                     {QStringLiteral("reason"), m_brokerRequired ? m_brokerReason : QString()}}},
        {QStringLiteral("ports"), int(ports.size())},
        {QStringLiteral("ports_open"), int(open.size())},
        {QStringLiteral("projectors"), projectors},
    };
}

} // namespace tavo::gateway
