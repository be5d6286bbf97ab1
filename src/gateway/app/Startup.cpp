#include "Startup.h"

#include "HttpTls.h"
#include "SiteLoad.h"
#include "TokenFile.h"

#include "BoundedFileRead.h"
#include "SecretFile.h"
#include "SiteFile.h"

#include <QHash>

#include <algorithm>

namespace tavo::gateway {
namespace {

// A certificate bundle is read by the TLS library at each connect; it must be there now.
constexpr qint64 kMaxCaFileSize = 16 * 1024 * 1024;
constexpr qint64 kMaxClientCertSize = 1024 * 1024;
constexpr qint64 kMaxKeySize = 64 * 1024;

// Each line's share port as the share front takes it at start: a line's own share_port, else
// --share's first port plus the line's place, in the order the file first names lines. Empty
// when none is beyond 65535 or taken twice; otherwise "FILE:LINE: reason".
QString sharePortProblem(const SiteConfig& site, int basePort) {
    QHash<QString, int> placeOf; // lines by target
    QHash<int, QString> holder;  // port: the section that takes it
    for (const ProjectorConfig& p : site.projectors) {
        if (placeOf.contains(p.target))
            continue;
        const int place = int(placeOf.size());
        placeOf.insert(p.target, place);
        const int port = p.sharePort ? *p.sharePort : basePort + place;
        const int line = p.sharePort ? p.sharePortLine : p.line;
        if (port > 65535)
            return site::siteError(site.path, line,
                                   QStringLiteral("[%1]: share port %2 (--share's first port plus "
                                                  "%3) is beyond 65535; give its line a "
                                                  "share_port")
                                       .arg(p.name, QString::number(port), QString::number(place)));
        if (const QString other = holder.value(port); !other.isEmpty())
            return site::siteError(site.path, line,
                                   QStringLiteral("[%1]: share port %2 is already [%3]'s line's")
                                       .arg(p.name, QString::number(port), other));
        holder.insert(port, p.name);
    }
    return {};
}

} // namespace

std::optional<SiteConfig> readSite(const GatewayOptions& o, std::optional<PjlinkPortMemory>& memory,
                                   QStringList* warnings, QString* error) {
    // PJLink ports are given below, not by the projectors' order in the file.
    const SiteLoad load = loadSite(o.siteFile, o.siteName);
    if (!load.site) {
        *error = load.error;
        return std::nullopt;
    }
    SiteConfig site = *load.site;
    if (o.pjlinkPort && *o.pjlinkPort > 0) {
        // Read at start; without a state directory the ports given are remembered for this run.
        if (!memory) {
            memory.emplace();
            if (!o.stateDir.isEmpty() &&
                !memory->read(PjlinkPortMemory::pathFor(o.stateDir, site.name), error))
                return std::nullopt;
        }
        if (!memory->assign(&site, *o.pjlinkPort, error, warnings))
            return std::nullopt;
        if (o.stateDir.isEmpty() &&
            std::any_of(load.site->projectors.begin(), load.site->projectors.end(),
                        [](const ProjectorConfig& p) { return !p.pjlinkPort; }))
            *warnings << QStringLiteral(
                "pjlink: without --state-dir (StateDirectory= under systemd) a projector without "
                "pjlink_port takes its PJLink port by its place in the site file at start");
    }
    if (o.sharePort && *o.sharePort > 0) {
        if (const QString problem = sharePortProblem(site, *o.sharePort); !problem.isEmpty()) {
            *error = problem;
            return std::nullopt;
        }
    }
    return site;
}

std::optional<Startup> prepareStartup(const GatewayOptions& o, QString* error) {
    const auto refuse = [error](const QString& option, const QString& why) {
        *error = option.isEmpty() ? why : QStringLiteral("%1: %2").arg(option, why);
        return std::nullopt;
    };
    Startup start;
    QString why;
    std::optional<SiteConfig> site = readSite(o, start.pjlinkPorts, &start.warnings, &why);
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
