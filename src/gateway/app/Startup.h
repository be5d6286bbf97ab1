#pragma once

#include "GatewayOptions.h"

#include "MqttOptions.h"
#include "SiteConfig.h"

#include <QByteArray>
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
};

// Nothing, with one line in `error`, when the start must be refused (exit status 2). The file
// options must have been resolved (resolveFileOptions).
std::optional<Startup> prepareStartup(const GatewayOptions& options, QString* error);

} // namespace tavo::gateway
