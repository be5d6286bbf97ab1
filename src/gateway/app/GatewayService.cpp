#include "GatewayService.h"

#include "Log.h"

#include "Gateway.h"
#include "GatewayHealth.h"

#include "HealthRoutes.h"
#include "HttpFront.h"
#include "Metrics.h"
#include "MqttClient.h"
#include "MqttFront.h"
#include "PjlinkFront.h"
#include "ShareFront.h"
#include "StatusPage.h"

#include "AnyDevicePort.h"
#include "GatewayShares.h"
#include "NetworkPort.h"
#include "QtTimer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QHostAddress>
#include <QSet>
#include <QSysInfo>
#include <QTimer>

namespace tavo::gateway {
namespace {

std::unique_ptr<LinePort> makePort() {
    return std::make_unique<AnyDevicePort>(&makeLinkedNetworkPort);
}

// What the MQTT front publishes beyond the site: topics' base, discovery prefix, areas, the
// status page's address (when --http serves one on a known port) and this run's identity.
MqttFront::Options mqttFrontOptions(const GatewayOptions& o, const QString& site,
                                    const QString& host, const QString& clientId) {
    MqttFront::Options options;
    options.topics.base = o.mqttBase;
    options.topics.site = site;
    options.topics.haPrefix = o.haPrefix;
    options.look.areaPrefix = o.haAreaPrefix.value_or(site);
    options.look.version = QStringLiteral(MX7300_VERSION);
    if (o.httpPort && *o.httpPort != 0) {
        const QHostAddress address(o.httpAddress);
        const QString shown = address == QHostAddress::AnyIPv4 || address == QHostAddress::AnyIPv6
                                  ? host
                              : address.protocol() == QAbstractSocket::IPv6Protocol
                                  ? QStringLiteral("[%1]").arg(o.httpAddress)
                                  : o.httpAddress;
        options.look.statusUrl =
            QStringLiteral("%1://%2:%3/")
                .arg(o.httpCertFile.isEmpty() ? QStringLiteral("http") : QStringLiteral("https"),
                     shown)
                .arg(*o.httpPort);
    }
    options.host = host;
    options.clientId = clientId;
    return options;
}

} // namespace

int portCount(const SiteConfig& site) {
    QSet<QString> ports;
    for (const ProjectorConfig& p : site.projectors)
        ports.insert(p.target);
    return int(ports.size());
}

GatewayService::GatewayService(GatewayOptions options, Startup startup, QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_startup(std::move(startup)) {
    m_steady.start();
}

GatewayService::~GatewayService() {
    if (!m_sharesFile.isEmpty())
        QFile::remove(m_sharesFile);
    m_share.reset();
    m_pjlink.reset();
    m_http.reset();
    m_metrics.reset();
    m_mqttFront.reset();
    m_mqtt.reset();
    m_health.reset();
    m_gateway.reset();
}

int GatewayService::start() {
    const GatewayOptions& o = m_options;
    const SiteConfig& site = m_startup.site;
    for (const QString& warning : std::as_const(m_startup.warnings))
        logLine(Priority::Warning, warning);
    // The audit log: always in the service's log, with --audit-file also in that file.
    QString error;
    if (!o.auditFile.isEmpty() && !m_auditFile.open(o.auditFile, &error)) {
        logLine(Priority::Error, QStringLiteral("mx7300-gateway: --audit-file: %1").arg(error));
        return 2;
    }
    m_gateway = std::make_unique<Gateway>(
        site, &makePort, [] { return std::make_unique<QtTimer>(0); }, o.pollSeconds * 1000,
        [this] { return m_steady.elapsed(); }, [] { return QDateTime::currentDateTimeUtc(); });
    m_health =
        std::make_unique<GatewayHealth>(*m_gateway, [] { return QDateTime::currentDateTimeUtc(); });
    m_health->setBrokerRequired(m_startup.mqtt.has_value());
    m_gateway->audit().addSink(&journalAudit);
    if (!o.auditFile.isEmpty())
        m_gateway->audit().addSink([this](const AuditRecord& r) { m_auditFile.write(r); });
    watchGateway();

    if (!startHttp() || !startPjlink() || !startShare())
        return 3;
    // Only now the broker: every listening port is ours, so a refused second start of this site
    // has not thrown the running one off the broker (same client id) nor left "offline" there.
    if (m_startup.mqtt)
        startMqtt();

    logLine(Priority::Info, QStringLiteral("site %1: %2 projectors on %3 ports, polled every %4 s")
                                .arg(site.name)
                                .arg(site.projectors.size())
                                .arg(portCount(site))
                                .arg(o.pollSeconds));
    m_notifier.ready(
        QStringLiteral("site %1: %2 projectors").arg(site.name).arg(site.projectors.size()));
    // When a stop that came during start-up is handled first, the serial ports are never opened.
    QTimer::singleShot(0, m_gateway.get(), [this] {
        if (!m_stopping)
            m_gateway->start();
    });
    return 0;
}

// What the log tells of the projectors: a port that stays down once per reason, not every poll
// period; a projector going on- or offline.
void GatewayService::watchGateway() {
    Gateway& gateway = *m_gateway;
    m_wasAvailable.assign(size_t(gateway.projectorCount()), -1);
    connect(&gateway, &Gateway::portOpenFailed, this,
            [this](const QString& target, const QString& reason) {
                if (m_lastFailure.value(target) == reason)
                    return;
                m_lastFailure.insert(target, reason);
                logLine(Priority::Warning, QStringLiteral("%1: %2").arg(target, reason), lcPorts());
            });
    connect(&gateway, &Gateway::stateChanged, this, [this](int index) {
        const int now = m_gateway->state(index).available ? 1 : 0;
        if (m_wasAvailable[size_t(index)] == now)
            return;
        m_wasAvailable[size_t(index)] = now;
        if (now)
            m_lastFailure.remove(m_gateway->projector(index).target);
        logLine(now ? Priority::Info : Priority::Warning,
                QStringLiteral("%1: %2").arg(m_gateway->projector(index).name,
                                             now ? QStringLiteral("online")
                                                 : QStringLiteral("offline (no answer)")),
                lcPorts());
    });
    connect(&gateway, &Gateway::siteChanged, this, &GatewayService::takeSiteChange);
}

bool GatewayService::startHttp() {
    const GatewayOptions& o = m_options;
    if (!o.httpPort)
        return true;
    HttpOptions options;
    options.address = QHostAddress(o.httpAddress);
    options.port = *o.httpPort;
    options.token = m_startup.httpToken;
    options.tls = m_startup.httpTls;
    m_metrics = std::make_unique<Metrics>(*m_gateway, QStringLiteral(MX7300_VERSION));
    m_http = std::make_unique<HttpFront>(*m_gateway, *m_metrics, options);
    page::addStatusPage(*m_http, *m_gateway, options.token);
    addHealthRoutes(*m_http, *m_health);
    if (!m_http->listen()) {
        logLine(Priority::Error,
                QStringLiteral("mx7300-gateway: --http: %1").arg(m_http->errorString()), lcHttp());
        return false;
    }
    logLine(Priority::Info,
            QStringLiteral("http: listening on %1:%2%3%4")
                .arg(o.httpAddress)
                .arg(m_http->port())
                .arg(options.tls ? QStringLiteral(" (HTTPS)") : QString())
                .arg(options.token.isEmpty() ? QStringLiteral(" (read-only)") : QString()),
            lcHttp());
    return true;
}

bool GatewayService::startPjlink() {
    const GatewayOptions& o = m_options;
    if (!o.pjlinkPort)
        return true;
    pjlink::PjlinkFront::Options options;
    options.address = QHostAddress(o.pjlinkAddress);
    options.basePort = *o.pjlinkPort;
    options.defaultPassword = m_startup.pjlinkPassword;
    m_pjlink = std::make_unique<pjlink::PjlinkFront>(*m_gateway, options);
    QString why;
    if (!m_pjlink->listen(&why)) {
        logLine(Priority::Error, QStringLiteral("mx7300-gateway: --pjlink: %1").arg(why),
                lcPjlink());
        return false;
    }
    rememberPorts(m_startup.pjlinkPorts);
    logLine(Priority::Info,
            QStringLiteral("pjlink: %1 from port %2").arg(o.pjlinkAddress).arg(m_pjlink->portOf(0)),
            lcPjlink());
    for (int i = 0; i < m_gateway->projectorCount(); ++i)
        warnPjlinkWithoutPassword(i);
    return true;
}

bool GatewayService::startShare() {
    const GatewayOptions& o = m_options;
    if (!o.sharePort)
        return true;
    share::ShareFront::Options options;
    options.address = QHostAddress(o.shareAddress);
    options.basePort = *o.sharePort;
    options.allow = m_startup.shareAllow;
    m_share = std::make_unique<share::ShareFront>(*m_gateway, options);
    QString why;
    if (!m_share->listen(&why)) {
        logLine(Priority::Error, QStringLiteral("mx7300-gateway: --share: %1").arg(why), lcShare());
        return false;
    }
    for (const auto& [line, port] : m_share->shares())
        logLine(Priority::Info,
                QStringLiteral("share: %1 on %2 port %3").arg(line, o.shareAddress).arg(port),
                lcShare());
    rememberPorts(m_startup.sharePorts);
    writeShares();
    if (!o.shareAllow.isEmpty())
        logLine(Priority::Warning,
                QStringLiteral("share: raw lines open to %1: anyone there can "
                               "send any command, unauthenticated")
                    .arg(m_startup.shareAllow.toString()),
                lcShare());
    return true;
}

void GatewayService::writeShares() {
    GatewayShares shares;
    shares.site = m_gateway->site().name;
    shares.pid = QCoreApplication::applicationPid();
    // In QHostAddress's own text ("::", not "0::0"), as readers of the file compare it.
    shares.address = QHostAddress(m_options.shareAddress).toString();
    for (const auto& [line, port] : m_share->shares())
        shares.lines << GatewayShares::Line{line, port};
    const QString directory = gatewayRuntimeDirectory();
    QString why;
    if (writeGatewayShares(directory, shares, &why)) {
        // A reload may have renamed the site.
        const QString path = gatewaySharesPath(directory, shares.site);
        if (!m_sharesFile.isEmpty() && m_sharesFile != path)
            QFile::remove(m_sharesFile);
        m_sharesFile = path;
    } else
        logLine(Priority::Warning,
                QStringLiteral("share: mx7300-ctl will not find the shares: %1").arg(why),
                lcShare());
}

void GatewayService::rememberPorts(const std::optional<PortMemory>& memory) {
    if (!memory || m_options.stateDir.isEmpty())
        return;
    const bool pjlink = memory->kind() == PortMemory::Kind::Pjlink;
    QString why;
    if (!memory->write(&why))
        logLine(Priority::Warning,
                QStringLiteral("%1: ports not remembered: %2")
                    .arg(pjlink ? QStringLiteral("pjlink") : QStringLiteral("share"), why),
                pjlink ? lcPjlink() : lcShare());
}

void GatewayService::warnPjlinkWithoutPassword(int index) {
    if (!m_gateway->projector(index).pjlinkPassword.isEmpty() ||
        !m_startup.pjlinkPassword.isEmpty())
        return;
    logLine(Priority::Warning,
            QStringLiteral("pjlink: %1 on port %2 has no password: anyone who reaches %3 can "
                           "switch it")
                .arg(m_gateway->projector(index).name)
                .arg(m_pjlink->portOf(index))
                .arg(m_options.pjlinkAddress),
            lcPjlink());
}

void GatewayService::startMqtt() {
    const QString host = QSysInfo::machineHostName();
    const QString site = m_startup.site.name;
    MqttFront::Options front =
        mqttFrontOptions(m_options, site, host, MqttFront::clientIdFor(site, host));
    MqttOptions options = *m_startup.mqtt;
    options.clientId = front.clientId;
    options.willTopic = front.topics.gatewayAvailability();
    m_mqtt = std::make_unique<MqttClient>(options);
    m_mqttFront = std::make_unique<MqttFront>(*m_gateway, *m_mqtt, front);
    MqttClient* mqtt = m_mqtt.get();
    // Two gateways on one site would fight over its topics: the later one leaves.
    connect(m_mqttFront.get(), &MqttFront::siteHeldElsewhere, this, [this](const QString& why) {
        logLine(Priority::Error, QStringLiteral("mx7300-gateway: %1").arg(why));
        m_gateway->stop();
        connect(m_mqtt.get(), &MqttClient::stopped, this, [] { QCoreApplication::exit(4); });
        m_mqttFront->stop();
    });
    // The broker's state for /healthz and the metrics.
    GatewayHealth* health = m_health.get();
    connect(mqtt, &MqttClient::connected, health, [health] { health->setBrokerConnected(true); });
    connect(mqtt, &MqttClient::disconnected, health,
            [health](const QString& why) { health->setBrokerConnected(false, why); });
    connect(mqtt, &MqttClient::connectionFailed, health,
            [health](const QString& why, int) { health->setBrokerConnected(false, why); });
    connect(mqtt, &MqttClient::connected, this, [this] {
        m_lastBrokerProblem.clear();
        logLine(Priority::Info, QStringLiteral("broker: connected"), lcMqtt());
    });
    connect(mqtt, &MqttClient::connectionFailed, this, [this](const QString& reason, int) {
        if (reason == m_lastBrokerProblem)
            return;
        m_lastBrokerProblem = reason;
        logLine(Priority::Warning, QStringLiteral("broker: %1; trying again").arg(reason),
                lcMqtt());
    });
    connect(mqtt, &MqttClient::disconnected, this, [](const QString& reason) {
        logLine(Priority::Warning, QStringLiteral("broker: disconnected (%1)").arg(reason),
                lcMqtt());
    });
    if (Metrics* metrics = m_metrics.get()) {
        metrics->setBrokerConnected(false);
        connect(mqtt, &MqttClient::connected, metrics,
                [metrics] { metrics->setBrokerConnected(true); });
        connect(mqtt, &MqttClient::disconnected, metrics,
                [metrics] { metrics->setBrokerConnected(false); });
    }
    m_mqttFront->start();
    m_mqtt->start();
}

void GatewayService::reload() {
    if (m_stopping || !m_gateway)
        return;
    m_notifier.reloading(QStringLiteral("reading %1 again").arg(m_options.siteFile));
    // Copies: a refused file must not change the ports remembered.
    std::optional<PortMemory> pjlinkPorts = m_startup.pjlinkPorts;
    std::optional<PortMemory> sharePorts = m_startup.sharePorts;
    QStringList warnings;
    QString why;
    const std::optional<SiteConfig> next =
        readSite(m_options, pjlinkPorts, sharePorts, &warnings, &why);
    const QString running = QStringLiteral("site %1: %2 projectors")
                                .arg(m_gateway->site().name)
                                .arg(m_gateway->projectorCount());
    if (!next) {
        logLine(Priority::Error,
                QStringLiteral("reload refused, the site runs on unchanged: %1").arg(why));
        m_gateway->audit().refused(AuditOrigin{QStringLiteral("signal"), QStringLiteral("SIGHUP"),
                                               m_options.siteFile.toUtf8()},
                                   QString(), QStringLiteral("reload"), why);
        m_notifier.ready(running);
        return;
    }
    for (const QString& warning : std::as_const(warnings))
        if (!m_startup.warnings.contains(warning)) // told at start already
            logLine(Priority::Warning, warning);
    const auto changed = [](const std::optional<PortMemory>& before,
                            const std::optional<PortMemory>& after) {
        return after && (!before || before->ports() != after->ports());
    };
    const bool newPjlinkPorts = changed(m_startup.pjlinkPorts, pjlinkPorts);
    const bool newSharePorts = changed(m_startup.sharePorts, sharePorts);
    m_startup.pjlinkPorts = pjlinkPorts;
    m_startup.sharePorts = sharePorts;
    const QList<QPair<QString, quint16>> sharedBefore =
        m_share ? m_share->shares() : QList<QPair<QString, quint16>>();
    const SiteChange change = m_gateway->reload(*next);
    if (newPjlinkPorts)
        rememberPorts(m_startup.pjlinkPorts);
    if (newSharePorts)
        rememberPorts(m_startup.sharePorts);
    // The lines' servers followed the reload; mx7300-ctl finds them as they are now.
    if (m_share) {
        for (const auto& [line, port] : m_share->shares())
            if (!sharedBefore.contains(qMakePair(line, port)))
                logLine(Priority::Info,
                        QStringLiteral("share: %1 on %2 port %3")
                            .arg(line, m_options.shareAddress)
                            .arg(port),
                        lcShare());
        writeShares();
    }
    logLine(Priority::Info,
            QStringLiteral("reload: site %1: %2").arg(next->name, change.summary()));
    m_notifier.ready(QStringLiteral("site %1: %2 projectors")
                         .arg(m_gateway->site().name)
                         .arg(m_gateway->projectorCount()));
}

// Before the fronts hear of anything at a projector's new place.
void GatewayService::takeSiteChange(const SiteChange& change) {
    std::vector<int> wasAvailable;
    for (const int old : change.oldIndex)
        wasAvailable.push_back(old >= 0 ? m_wasAvailable[size_t(old)] : -1);
    m_wasAvailable = std::move(wasAvailable);
    if (m_share) {
        for (const QString& problem : m_share->takeSiteChange())
            logLine(Priority::Error, QStringLiteral("share: %1").arg(problem), lcShare());
    }
    if (!m_pjlink)
        return;
    for (const QString& problem : m_pjlink->takeSiteChange(change))
        logLine(Priority::Error, QStringLiteral("pjlink: %1").arg(problem), lcPjlink());
    for (size_t i = 0; i < change.oldIndex.size(); ++i)
        if (change.oldIndex[i] < 0 && m_pjlink->portOf(int(i)) != 0)
            warnPjlinkWithoutPassword(int(i));
}

void GatewayService::reopenAuditFile() {
    QString why;
    if (!m_options.auditFile.isEmpty() && !m_auditFile.reopen(&why))
        logLine(Priority::Warning, QStringLiteral("audit file: %1").arg(why));
}

void GatewayService::stop(int signal) {
    if (m_stopping)
        return;
    m_stopping = true;
    logLine(Priority::Info, QStringLiteral("stopping (signal %1)").arg(signal));
    m_notifier.stopping(QStringLiteral("stopping (signal %1)").arg(signal));
    if (m_gateway)
        m_gateway->stop();
    if (!m_mqtt) {
        QCoreApplication::quit();
        return;
    }
    connect(m_mqtt.get(), &MqttClient::stopped, this, [] { QCoreApplication::quit(); });
    m_mqttFront->stop();
}

} // namespace tavo::gateway
