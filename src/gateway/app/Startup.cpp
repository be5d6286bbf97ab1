#include "Startup.h"

#include "SiteLoad.h"
#include "TokenFile.h"

#include "BoundedFileRead.h"
#include "SecretFile.h"

namespace tavo::gateway {
namespace {

// A certificate bundle is read by the TLS library at each connect; it must be there now.
constexpr qint64 kMaxCaFileSize = 16 * 1024 * 1024;

} // namespace

std::optional<Startup> prepareStartup(const GatewayOptions& o, QString* error) {
    const auto refuse = [error](const QString& option, const QString& why) {
        *error = option.isEmpty() ? why : QStringLiteral("%1: %2").arg(option, why);
        return std::nullopt;
    };
    Startup start;
    const SiteLoad load = loadSite(o.siteFile, o.siteName,
                                   o.pjlinkPort ? std::optional<int>(*o.pjlinkPort) : std::nullopt);
    if (!load.site)
        return refuse({}, load.error);
    start.site = *load.site;

    QString why;
    if (!o.mqttUrl.isEmpty()) {
        start.mqtt = parseMqttUrl(o.mqttUrl, &why);
        if (!start.mqtt)
            return refuse(QStringLiteral("--mqtt"), why);
        if (!o.mqttPasswordFile.isEmpty()) {
            const auto password = site::readSecretFile(o.mqttPasswordFile, &why);
            if (!password)
                return refuse(QStringLiteral("--mqtt-password-file"), why);
            start.mqtt->password = QString::fromUtf8(*password);
        }
        if (!o.mqttCaFile.isEmpty()) {
            const site::BoundedRead ca = site::readRegularFile(o.mqttCaFile, kMaxCaFileSize);
            if (!ca.ok)
                return refuse(QStringLiteral("--mqtt-cafile"),
                              QStringLiteral("%1: %2").arg(o.mqttCaFile, ca.error));
        }
        start.mqtt->caFile = o.mqttCaFile;
        start.mqtt->keepaliveSeconds = o.mqttKeepaliveSeconds;
        // The client id and the will's topic come with the MQTT front's options (main).
        start.mqtt->willPayload = "offline";
        start.mqtt->willRetain = true;
    }
    if (!o.httpTokenFile.isEmpty()) {
        const auto token = readTokenFile(o.httpTokenFile, &why);
        if (!token)
            return refuse(QStringLiteral("--http-token-file"), why);
        start.httpToken = *token;
    }
    if (!o.pjlinkPasswordFile.isEmpty()) {
        const auto password = site::readSecretFile(o.pjlinkPasswordFile, &why);
        if (!password)
            return refuse(QStringLiteral("--pjlink-password-file"), why);
        start.pjlinkPassword = QString::fromUtf8(*password);
    }
    return start;
}

} // namespace tavo::gateway
