#include "Startup.h"

#include "HttpTls.h"
#include "SiteLoad.h"
#include "TokenFile.h"

#include "BoundedFileRead.h"
#include "SecretFile.h"
#include "SiteFile.h"

#include <algorithm>

namespace tavo::gateway {
namespace {

// A certificate bundle is read by the TLS library at each connect; it must be there now.
constexpr qint64 kMaxCaFileSize = 16 * 1024 * 1024;
constexpr qint64 kMaxClientCertSize = 1024 * 1024;
constexpr qint64 kMaxKeySize = 64 * 1024;

// Gives the projectors (PJLink) or lines (shares) without their own port one from `memory`,
// read from the state directory at start. Without one, a first start's assignment in file
// order holds for this run only, which `warning` says.
bool assignPorts(const GatewayOptions& o, PortMemory::Kind kind, int basePort,
                 std::optional<PortMemory>& memory, SiteConfig* site, const QString& warning,
                 QStringList* warnings, QString* error) {
    if (!memory) {
        memory.emplace(kind);
        if (!o.stateDir.isEmpty() &&
            !memory->read(PortMemory::pathFor(kind, o.stateDir, site->name), error))
            return false;
    }
    const bool derived =
        std::any_of(site->projectors.begin(), site->projectors.end(), [kind](const auto& p) {
            return kind == PortMemory::Kind::Pjlink ? !p.pjlinkPort : !p.sharePort;
        });
    if (!memory->assign(site, basePort, error, warnings))
        return false;
    if (o.stateDir.isEmpty() && derived)
        *warnings << warning;
    return true;
}

} // namespace

std::optional<SiteConfig> readSite(const GatewayOptions& o, std::optional<PortMemory>& pjlinkPorts,
                                   std::optional<PortMemory>& sharePorts, QStringList* warnings,
                                   QString* error) {
    // Ports are given below, not by the projectors' order in the file.
    const SiteLoad load = loadSite(o.siteFile, o.siteName);
    if (!load.site) {
        *error = load.error;
        return std::nullopt;
    }
    SiteConfig site = *load.site;
    if (o.pjlinkPort && *o.pjlinkPort > 0 &&
        !assignPorts(o, PortMemory::Kind::Pjlink, *o.pjlinkPort, pjlinkPorts, &site,
                     QStringLiteral("pjlink: without --state-dir (StateDirectory= under systemd) "
                                    "a projector without pjlink_port takes its PJLink port by "
                                    "its place in the site file at start"),
                     warnings, error))
        return std::nullopt;
    if (o.sharePort && *o.sharePort > 0 &&
        !assignPorts(o, PortMemory::Kind::Share, *o.sharePort, sharePorts, &site,
                     QStringLiteral("share: without --state-dir (StateDirectory= under systemd) "
                                    "a line without share_port takes its share port by its "
                                    "place in the site file at start"),
                     warnings, error))
        return std::nullopt;
    return site;
}

std::optional<Startup> prepareStartup(const GatewayOptions& o, QString* error) {
    const auto refuse = [error](const QString& option, const QString& why) {
        *error = option.isEmpty() ? why : QStringLiteral("%1: %2").arg(option, why);
        return std::nullopt;
    };
    Startup start;
    QString why;
    std::optional<SiteConfig> site =
        readSite(o, start.pjlinkPorts, start.sharePorts, &start.warnings, &why);
    if (!site)
        return refuse({}, why);
    start.site = std::move(*site);

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
        if (!o.mqttCertFile.isEmpty()) {
            if (!start.mqtt->tls)
                return refuse(QStringLiteral("--mqtt-cert"), QStringLiteral("needs mqtts://"));
            // The TLS library opens them itself at each connect; they must read now, the key
            // like every secret (a file itself, not a link).
            const site::BoundedRead cert =
                site::readRegularFile(o.mqttCertFile, kMaxClientCertSize);
            if (!cert.ok || !cert.bytes.contains("-----BEGIN CERTIFICATE-----"))
                return refuse(QStringLiteral("--mqtt-cert"),
                              QStringLiteral("%1: %2").arg(
                                  o.mqttCertFile,
                                  cert.ok ? QStringLiteral("no PEM certificate") : cert.error));
            const site::BoundedRead key =
                site::readRegularFile(o.mqttKeyFile, kMaxKeySize, site::FinalLink::Refuse);
            if (!key.ok || !key.bytes.contains("PRIVATE KEY-----"))
                return refuse(
                    QStringLiteral("--mqtt-key"),
                    QStringLiteral("%1: %2").arg(
                        o.mqttKeyFile, key.ok ? QStringLiteral("no PEM private key") : key.error));
            start.mqtt->certFile = o.mqttCertFile;
            start.mqtt->keyFile = o.mqttKeyFile;
        }
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
    if (!o.httpCertFile.isEmpty()) {
        start.httpTls = readHttpTls(o.httpCertFile, o.httpKeyFile, &why);
        if (!start.httpTls)
            return refuse({}, why);
    }
    if (!o.pjlinkPasswordFile.isEmpty()) {
        const auto password = site::readSecretFile(o.pjlinkPasswordFile, &why);
        if (!password)
            return refuse(QStringLiteral("--pjlink-password-file"), why);
        start.pjlinkPassword = QString::fromUtf8(*password);
    }
    if (!o.shareAllow.isEmpty()) {
        const auto allow = share::PeerAllowList::parse(o.shareAllow, &why);
        if (!allow)
            return refuse(QStringLiteral("--share-allow"), why);
        start.shareAllow = *allow;
    }
    return start;
}

} // namespace tavo::gateway
