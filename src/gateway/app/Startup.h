#pragma once

#include "GatewayOptions.h"

#include "MqttOptions.h"
#include "PeerAllowList.h"
#include "PjlinkPortMemory.h"
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
    // With --pjlink and a state directory: the ports given, to be remembered once they listen.
    std::optional<PjlinkPortMemory> pjlinkPorts;
    share::PeerAllowList shareAllow; // with --share: who may use the shared lines
    QStringList warnings;            // for the log: the start goes on
};

// Nothing, with one line in `error`, when the start must be refused (exit status 2). The file
// options must have been resolved (resolveFileOptions).
std::optional<Startup> prepareStartup(const GatewayOptions& options, QString* error);

} // namespace tavo::gateway
