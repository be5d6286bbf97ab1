#pragma once

#include "GatewayOptions.h"

#include "MqttOptions.h"
#include "PeerAllowList.h"
#include "PortMemory.h"
#include "SiteConfig.h"

#include <QByteArray>
#include <QSslConfiguration>
#include <QString>

#include <optional>

namespace tavo::gateway {

// Everything a start needs that can be refused, read and checked before a listening port is
// taken or the broker hears from us, so a refused start (a second one of the same site, a bad
// secret) leaves a running gateway alone. --check runs the same checks.
struct Startup {
    SiteConfig site;
    std::optional<MqttOptions> mqtt; // with --mqtt: broker, password, client id and will
    QByteArray httpToken;            // empty: HTTP is read-only
    QString pjlinkPassword;          // for projectors without their own
    // With --http-cert: HTTPS.
    std::optional<QSslConfiguration> httpTls;
    // With --pjlink and --share: the ports given; with a state directory remembered once they
    // listen.
    std::optional<PortMemory> pjlinkPorts;
    std::optional<PortMemory> sharePorts;
    share::PeerAllowList shareAllow; // with --share: who may use the shared lines
    QStringList warnings;            // for the log: the start goes on
};

// The site file read and checked (the one place the gateway reads it: start, --check and a
// reload), and with --pjlink every projector given its PJLink port from `pjlinkPorts`, with
// --share every line its share port from `sharePorts` (each read from the state directory when
// empty; they then hold the new assignments). Nothing, with `FILE:LINE: reason` in `error`, for
// a file to refuse.
std::optional<SiteConfig> readSite(const GatewayOptions& options,
                                   std::optional<PortMemory>& pjlinkPorts,
                                   std::optional<PortMemory>& sharePorts, QStringList* warnings,
                                   QString* error);

// Nothing, with one line in `error`, when the start must be refused (exit status 2). The file
// options must have been resolved (resolveFileOptions).
std::optional<Startup> prepareStartup(const GatewayOptions& options, QString* error);

} // namespace tavo::gateway
