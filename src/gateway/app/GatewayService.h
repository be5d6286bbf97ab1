#pragma once

#include "AuditFile.h"
#include "GatewayOptions.h"
#include "ServiceNotifier.h"
#include "Startup.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>

#include <memory>
#include <vector>

namespace tavo {
class MqttClient;
}

namespace tavo::gateway {

class Gateway;
class GatewayHealth;
class HttpFront;
class Metrics;
class MqttFront;
struct SiteChange;
namespace pjlink {
class PjlinkFront;
}
namespace share {
class ShareFront;
}

// How many ports the site's projectors are on.
int portCount(const SiteConfig& site);

// The running gateway: the site's projectors, the fronts (HTTP, PJLink, shares, MQTT), the broker
// connection, the audit log and what the service tells systemd. It starts them in an order that
// leaves a running gateway of the same site alone when this one cannot start, takes the site
// file again on a reload without a gap for what did not change, and stops cleanly.
class GatewayService : public QObject {
public:
    GatewayService(GatewayOptions options, Startup startup, QObject* parent = nullptr);
    ~GatewayService() override;

    // Listens and connects; 0, or the exit status when it cannot serve (2: the audit file,
    // 3: a listening port). The serial ports open once the event loop runs.
    int start();
    // SIGHUP: reads the site file again. A file that would be refused at start is refused, the
    // running site left as it was.
    void reload();
    // SIGUSR1: logrotate moved the audit file away.
    void reopenAuditFile();
    // Ports closed (their locks gone), "offline" left on the broker, then the event loop ends.
    void stop(int signal);

private:
    void watchGateway();
    bool startHttp();
    bool startPjlink();
    bool startShare();
    // The shares as they are now, for mx7300-ctl on this host.
    void writeShares();
    // Into the state directory, once the ports given listen: the next start gives the same.
    void rememberPorts(const std::optional<PortMemory>& memory);
    void startMqtt();
    void warnPjlinkWithoutPassword(int index);
    void takeSiteChange(const SiteChange& change);

    GatewayOptions m_options;
    Startup m_startup;
    AuditFile m_auditFile;
    ServiceNotifier m_notifier;
    QElapsedTimer m_steady;
    std::unique_ptr<Gateway> m_gateway;
    std::unique_ptr<GatewayHealth> m_health;
    std::unique_ptr<Metrics> m_metrics;
    std::unique_ptr<HttpFront> m_http;
    std::unique_ptr<pjlink::PjlinkFront> m_pjlink;
    std::unique_ptr<share::ShareFront> m_share;
    QString m_sharesFile; // written while the shares listen, removed at the end
    std::unique_ptr<MqttClient> m_mqtt;
    std::unique_ptr<MqttFront> m_mqttFront;
    QHash<QString, QString> m_lastFailure; // by port: told once per reason
    std::vector<int> m_wasAvailable;       // by projector: -1 not yet known
    QString m_lastBrokerProblem;           // told once until the broker answers again
    bool m_stopping = false;
};

} // namespace tavo::gateway
