#include "AuditFile.h"
#include "GatewayOptions.h"
#include "Log.h"
#include "ServiceNotifier.h"
#include "Startup.h"

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
#include "ShutdownSignals.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QSet>
#include <QSysInfo>
#include <QTextStream>
#include <QTimer>

#include <csignal>
#include <memory>

using namespace tavo;
using namespace tavo::gateway;

namespace {

std::unique_ptr<SerialPort> makePort(const QString& device) {
    return std::make_unique<AnyDevicePort>([device](int) { return device; },
                                           &makeLinkedNetworkPort);
}

int portCount(const SiteConfig& site) {
    QSet<QString> ports;
    for (const ProjectorConfig& p : site.projectors)
        ports.insert(p.target);
    return int(ports.size());
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

int main(int argc, char* argv[]) {
    // Caught before anything else: a stop asked for while the gateway starts waits until its
    // event loop runs, and is then the same clean stop as later.
    ShutdownSignals shutdown({SIGINT, SIGTERM, SIGHUP, SIGUSR1});
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);

    const GatewayParse parsed = parseGatewayOptions(app.arguments());
    switch (parsed.kind) {
    case GatewayParse::Kind::Help:
        out << gatewayHelpText();
        return 0;
    case GatewayParse::Kind::Version:
        out << "mx7300-gateway " << MX7300_VERSION << Qt::endl;
        return 0;
    case GatewayParse::Kind::Usage:
        logLine(Priority::Error,
                QStringLiteral("mx7300-gateway: %1 (see mx7300-gateway --help)").arg(parsed.error));
        return 2;
    case GatewayParse::Kind::Run:
        break;
    }
    GatewayOptions o = parsed.options;
    if (o.stateDir.isEmpty()) // systemd's StateDirectory=; the first when it names several
        o.stateDir = qEnvironmentVariable("STATE_DIRECTORY").section(QLatin1Char(':'), 0, 0);
    QString error;
    if (!resolveFileOptions(&o, qEnvironmentVariable("CREDENTIALS_DIRECTORY"), &error)) {
        logLine(Priority::Error, QStringLiteral("mx7300-gateway: %1").arg(error));
        return 2;
    }
    // Every check that can refuse the start, before a port is taken or the broker is told.
    const std::optional<Startup> startup = prepareStartup(o, &error);
    if (!startup) {
        logLine(Priority::Error, QStringLiteral("mx7300-gateway: %1").arg(error));
        return 2;
    }
    const SiteConfig& site = startup->site;
    for (const QString& warning : startup->warnings)
        logLine(Priority::Warning, warning);
    if (o.check) {
        out << QStringLiteral("%1: site %2, %3 projectors on %4 ports\n")
                   .arg(o.siteFile, site.name)
                   .arg(site.projectors.size())
                   .arg(portCount(site));
        return 0;
    }
    // The audit log: always in the service's log, with --audit-file also in that file.
    AuditFile auditFile;
    if (!o.auditFile.isEmpty() && !auditFile.open(o.auditFile, &error)) {
        logLine(Priority::Error, QStringLiteral("mx7300-gateway: --audit-file: %1").arg(error));
        return 2;
    }
    ServiceNotifier service;

    QElapsedTimer steady;
    steady.start();
    Gateway gateway(
        site, &makePort, [] { return std::make_unique<QtTimer>(0); }, o.pollSeconds * 1000,
        [&steady] { return steady.elapsed(); }, [] { return QDateTime::currentDateTimeUtc(); });

    GatewayHealth health(gateway, [] { return QDateTime::currentDateTimeUtc(); });
    health.setBrokerRequired(startup->mqtt.has_value());
    gateway.audit().addSink(&journalAudit);
    if (!o.auditFile.isEmpty())
        gateway.audit().addSink([&auditFile](const AuditRecord& r) { auditFile.write(r); });

    // A port that stays down is told once per reason, not every poll period.
    QHash<QString, QString> lastFailure;
    QObject::connect(&gateway, &Gateway::portOpenFailed, &gateway,
                     [&lastFailure](const QString& target, const QString& reason) {
                         if (lastFailure.value(target) == reason)
                             return;
                         lastFailure.insert(target, reason);
                         logLine(Priority::Warning, QStringLiteral("%1: %2").arg(target, reason));
                     });
    std::vector<int> wasAvailable(size_t(site.projectors.size()), -1);
    QObject::connect(&gateway, &Gateway::stateChanged, &gateway, [&](int index) {
        const int now = gateway.state(index).available ? 1 : 0;
        if (wasAvailable[size_t(index)] == now)
            return;
        wasAvailable[size_t(index)] = now;
        if (now)
            lastFailure.remove(gateway.projector(index).target);
        logLine(now ? Priority::Info : Priority::Warning,
                QStringLiteral("%1: %2").arg(gateway.projector(index).name,
                                             now ? QStringLiteral("online")
                                                 : QStringLiteral("offline (no answer)")));
    });

    std::unique_ptr<Metrics> metrics;
    std::unique_ptr<HttpFront> http;
    if (o.httpPort) {
        HttpOptions options;
        options.address = QHostAddress(o.httpAddress);
        options.port = *o.httpPort;
        options.token = startup->httpToken;
        options.tls = startup->httpTls;
        metrics = std::make_unique<Metrics>(gateway, QStringLiteral(MX7300_VERSION));
        http = std::make_unique<HttpFront>(gateway, *metrics, options);
        page::addStatusPage(*http, gateway, options.token);
        addHealthRoutes(*http, health);
        if (!http->listen()) {
            logLine(Priority::Error,
                    QStringLiteral("mx7300-gateway: --http: %1").arg(http->errorString()));
            return 3;
        }
        logLine(Priority::Info,
                QStringLiteral("http: listening on %1:%2%3%4")
                    .arg(o.httpAddress)
                    .arg(http->port())
                    .arg(options.tls ? QStringLiteral(" (HTTPS)") : QString())
                    .arg(options.token.isEmpty() ? QStringLiteral(" (read-only)") : QString()));
    }

    std::unique_ptr<pjlink::PjlinkFront> pjlinkFront;
    if (o.pjlinkPort) {
        pjlink::PjlinkFront::Options options;
        options.address = QHostAddress(o.pjlinkAddress);
        options.basePort = *o.pjlinkPort;
        options.defaultPassword = startup->pjlinkPassword;
        pjlinkFront = std::make_unique<pjlink::PjlinkFront>(gateway, options);
        QString why;
        if (!pjlinkFront->listen(&why)) {
            logLine(Priority::Error, QStringLiteral("mx7300-gateway: --pjlink: %1").arg(why));
            return 3;
        }
        // Remembered once they are ours: the next start gives every projector the same port.
        if (startup->pjlinkPorts && !startup->pjlinkPorts->write(&why))
            logLine(Priority::Warning, QStringLiteral("pjlink: ports not remembered: %1").arg(why));
        logLine(Priority::Info, QStringLiteral("pjlink: %1 from port %2")
                                    .arg(o.pjlinkAddress)
                                    .arg(pjlinkFront->portOf(0)));
        for (int i = 0; i < gateway.projectorCount(); ++i) {
            if (gateway.projector(i).pjlinkPassword.isEmpty() && options.defaultPassword.isEmpty())
                logLine(Priority::Warning,
                        QStringLiteral("pjlink: %1 on port %2 has no password: anyone who reaches "
                                       "%3 can switch it")
                            .arg(gateway.projector(i).name)
                            .arg(pjlinkFront->portOf(i))
                            .arg(o.pjlinkAddress));
        }
    }

    std::unique_ptr<share::ShareFront> shareFront;
    QString sharesFile; // removed at the end
    if (o.sharePort) {
        share::ShareFront::Options options;
        options.address = QHostAddress(o.shareAddress);
        options.basePort = *o.sharePort;
        options.allow = startup->shareAllow;
        shareFront = std::make_unique<share::ShareFront>(gateway, options);
        QString why;
        if (!shareFront->listen(&why)) {
            logLine(Priority::Error, QStringLiteral("mx7300-gateway: --share: %1").arg(why));
            return 3;
        }
        for (int line = 0; line < gateway.lineCount(); ++line)
            logLine(Priority::Info,
                    QStringLiteral("share: %1 on %2 port %3")
                        .arg(gateway.projector(gateway.projectorsOn(line).first()).target,
                             o.shareAddress)
                        .arg(shareFront->portOf(line)));
        // mx7300-ctl on this host finds the shares here while the gateway runs.
        GatewayShares shares;
        shares.site = site.name;
        shares.pid = QCoreApplication::applicationPid();
        shares.address = o.shareAddress;
        for (int line = 0; line < gateway.lineCount(); ++line)
            shares.lines << GatewayShares::Line{
                gateway.projector(gateway.projectorsOn(line).first()).target,
                shareFront->portOf(line)};
        const QString directory = gatewayRuntimeDirectory();
        if (writeGatewayShares(directory, shares, &why))
            sharesFile = gatewaySharesPath(directory, site.name);
        else
            logLine(Priority::Warning,
                    QStringLiteral("share: mx7300-ctl will not find the shares: %1").arg(why));
        if (!o.shareAllow.isEmpty())
            logLine(Priority::Warning,
                    QStringLiteral("share: raw lines open to %1: anyone there can send any "
                                   "command, unauthenticated")
                        .arg(startup->shareAllow.toString()));
    }

    // Only now the broker: every listening port is ours, so a refused second start of this site
    // has not thrown the running one off the broker (same client id) nor left "offline" there.
    std::unique_ptr<MqttClient> mqtt;
    std::unique_ptr<MqttFront> mqttFront;
    QString lastBrokerProblem; // told once until the broker answers again
    if (startup->mqtt) {
        const QString host = QSysInfo::machineHostName();
        MqttFront::Options front =
            mqttFrontOptions(o, site.name, host, MqttFront::clientIdFor(site.name, host));
        MqttOptions options = *startup->mqtt;
        options.clientId = front.clientId;
        options.willTopic = front.topics.gatewayAvailability();
        mqtt = std::make_unique<MqttClient>(options);
        mqttFront = std::make_unique<MqttFront>(gateway, *mqtt, front);
        // Two gateways on one site would fight over its topics: the later one leaves.
        QObject::connect(
            mqttFront.get(), &MqttFront::siteHeldElsewhere, &app, [&](const QString& why) {
                logLine(Priority::Error, QStringLiteral("mx7300-gateway: %1").arg(why));
                gateway.stop();
                QObject::connect(mqtt.get(), &MqttClient::stopped, &app, [&app] { app.exit(4); });
                mqttFront->stop();
            });
        // The broker's state for /healthz.
        QObject::connect(mqtt.get(), &MqttClient::connected, &health,
                         [&health] { health.setBrokerConnected(true); });
        QObject::connect(mqtt.get(), &MqttClient::disconnected, &health,
                         [&health](const QString& why) { health.setBrokerConnected(false, why); });
        QObject::connect(
            mqtt.get(), &MqttClient::connectionFailed, &health,
            [&health](const QString& why, int) { health.setBrokerConnected(false, why); });
        QObject::connect(mqtt.get(), &MqttClient::connected, mqtt.get(), [&lastBrokerProblem] {
            lastBrokerProblem.clear();
            logLine(Priority::Info, QStringLiteral("broker: connected"));
        });
        QObject::connect(mqtt.get(), &MqttClient::connectionFailed, mqtt.get(),
                         [&lastBrokerProblem](const QString& reason, int) {
                             if (reason == lastBrokerProblem)
                                 return;
                             lastBrokerProblem = reason;
                             logLine(Priority::Warning,
                                     QStringLiteral("broker: %1; trying again").arg(reason));
                         });
        QObject::connect(
            mqtt.get(), &MqttClient::disconnected, mqtt.get(), [](const QString& reason) {
                logLine(Priority::Warning, QStringLiteral("broker: disconnected (%1)").arg(reason));
            });
        if (metrics) {
            metrics->setBrokerConnected(false);
            QObject::connect(mqtt.get(), &MqttClient::connected, metrics.get(),
                             [&metrics] { metrics->setBrokerConnected(true); });
            QObject::connect(mqtt.get(), &MqttClient::disconnected, metrics.get(),
                             [&metrics] { metrics->setBrokerConnected(false); });
        }
        mqttFront->start();
        mqtt->start();
    }

    // A clean stop: ports closed (their locks gone), "offline" left on the broker, then out.
    bool stopping = false;
    shutdown.setHandler([&](int number) {
        if (number == SIGUSR1) { // logrotate moved the audit file away
            QString why;
            if (!o.auditFile.isEmpty() && !auditFile.reopen(&why))
                logLine(Priority::Warning, QStringLiteral("audit file: %1").arg(why));
            return;
        }
        if (stopping)
            return;
        stopping = true;
        logLine(Priority::Info, QStringLiteral("stopping (signal %1)").arg(number));
        service.stopping(QStringLiteral("stopping (signal %1)").arg(number));
        gateway.stop();
        if (!mqtt) {
            app.quit();
            return;
        }
        QObject::connect(mqtt.get(), &MqttClient::stopped, &app, &QCoreApplication::quit);
        mqttFront->stop();
    });

    logLine(Priority::Info, QStringLiteral("site %1: %2 projectors on %3 ports, polled every %4 s")
                                .arg(site.name)
                                .arg(site.projectors.size())
                                .arg(portCount(site))
                                .arg(o.pollSeconds));
    service.ready(
        QStringLiteral("site %1: %2 projectors").arg(site.name).arg(site.projectors.size()));
    // When a stop that came during start-up is handled first, the serial ports are never opened.
    QTimer::singleShot(0, &gateway, [&gateway, &stopping] {
        if (!stopping)
            gateway.start();
    });
    const int status = app.exec();
    if (!sharesFile.isEmpty())
        QFile::remove(sharesFile);
    shareFront.reset();
    pjlinkFront.reset();
    http.reset();
    metrics.reset();
    mqttFront.reset();
    mqtt.reset();
    return status;
}
