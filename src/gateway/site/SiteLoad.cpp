#include "SiteLoad.h"

#include "SiteFile.h"
#include "SiteRules.h"

#include "PjlinkInputs.h"

#include "Address.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>

namespace tavo::gateway {
namespace {

const QSet<QString> kKeys{
    QStringLiteral("port"),          QStringLiteral("baud"),
    QStringLiteral("address"),       QStringLiteral("room"),
    QStringLiteral("pjlink_port"),   QStringLiteral("pjlink_password"),
    QStringLiteral("pjlink_inputs"), QStringLiteral("lamp_warn_hours"),
    QStringLiteral("share_port"),
};

const QString kPjlinkPort = QStringLiteral("pjlink_port");
const QString kSharePort = QStringLiteral("share_port");

} // namespace

SiteLoad loadSite(const QString& path, const QString& siteName, std::optional<int> pjlinkBasePort) {
    SiteLoad load;
    const site::SiteRead read = site::readSiteFile(path);
    if (!read.site) {
        load.error = read.error;
        return load;
    }
    const auto refuse = [&](int line, const QString& why) {
        load.error = site::siteError(path, line, why);
        return load;
    };
    SiteConfig config;
    config.path = path;
    config.name = siteName.isEmpty() ? QFileInfo(path).completeBaseName() : siteName;
    if (!isPlainName(config.name))
        return refuse(0, QStringLiteral("the site name \"%1\" is not letters, digits, _ and - "
                                        "(give --name)")
                             .arg(config.name));
    QString why;
    const auto rates = site::baudRates(
        *read.site, 19200,
        [](const site::SiteSection& section) {
            return section.value(QStringLiteral("port")).value_or(QString()).trimmed();
        },
        &why);
    if (!rates) {
        load.error = why;
        return load;
    }
    QHash<int, QString> pjlinkPorts;             // taken: by which projector
    QHash<QString, QPair<int, QString>> shareOf; // a line's share port: by line, and whose
    QHash<int, QString> shareLines;              // a share port: by which line
    for (const site::SiteSection& section : read.site->sections) {
        ProjectorConfig p;
        p.name = section.name;
        p.line = section.line;
        if (!isPlainName(p.name))
            return refuse(
                section.line,
                QStringLiteral("[%1]: a projector's name is letters, digits, _ and -").arg(p.name));
        if (p.name == QLatin1String("gateway"))
            return refuse(section.line, QStringLiteral("[gateway]: the name is the gateway's "
                                                       "own topic; choose another"));
        for (const site::SiteEntry& entry : section.entries) {
            if (!kKeys.contains(entry.key))
                return refuse(entry.line,
                              QStringLiteral("[%1]: unknown key \"%2\"").arg(p.name, entry.key));
        }
        const auto lineOf = [&](const QString& key) {
            const site::SiteEntry* entry = section.entry(key);
            return entry ? entry->line : section.line;
        };
        p.target = section.value(QStringLiteral("port")).value_or(QString()).trimmed();
        if (p.target.isEmpty())
            return refuse(section.line, QStringLiteral("[%1]: no port= (a device path, "
                                                       "tcp://HOST:PORT or rfc2217://HOST:PORT)")
                                            .arg(p.name));
        p.baud = rates->at(config.projectors.size());
        p.address = section.value(QStringLiteral("address")).value_or(QStringLiteral("single"));
        const auto prefix = prefixForAddressWord(p.address);
        if (!prefix)
            return refuse(lineOf(QStringLiteral("address")),
                          QStringLiteral("[%1]: address must be single, all, 001, 002, 003 or 004")
                              .arg(p.name));
        p.prefix = *prefix;
        p.room = section.value(QStringLiteral("room")).value_or(QString());
        if (const auto port = section.value(kPjlinkPort)) {
            bool ok = false;
            const int number = port->toInt(&ok);
            if (!ok || number < 1 || number > 65535)
                return refuse(lineOf(kPjlinkPort),
                              QStringLiteral("[%1]: pjlink_port must be 1 to 65535").arg(p.name));
            p.pjlinkPort = number;
        }
        // PJLink's port: its own, else the next of --pjlink's range (0 there: any free one).
        const int index = int(config.projectors.size());
        const int pjlinkPort = p.pjlinkPort                            ? *p.pjlinkPort
                               : pjlinkBasePort && *pjlinkBasePort > 0 ? *pjlinkBasePort + index
                                                                       : 0;
        if (pjlinkPort > 65535)
            return refuse(section.line,
                          QStringLiteral("[%1]: PJLink port %2 (--pjlink's first port plus %3) "
                                         "is beyond 65535; give it a pjlink_port")
                              .arg(p.name, QString::number(pjlinkPort), QString::number(index)));
        if (pjlinkPort > 0) {
            const auto holder = pjlinkPorts.constFind(pjlinkPort);
            if (holder != pjlinkPorts.constEnd())
                return refuse(lineOf(kPjlinkPort),
                              QStringLiteral("[%1]: PJLink port %2 is already [%3]'s")
                                  .arg(p.name, QString::number(pjlinkPort), *holder));
            pjlinkPorts.insert(pjlinkPort, p.name);
        }
        // A line is shared on one port: every section on it that names one names the same.
        if (const auto port = section.value(kSharePort)) {
            bool ok = false;
            const int number = port->toInt(&ok);
            if (!ok || number < 1 || number > 65535)
                return refuse(lineOf(kSharePort),
                              QStringLiteral("[%1]: share_port must be 1 to 65535").arg(p.name));
            const auto other = shareOf.constFind(p.target);
            if (other != shareOf.constEnd() && other->first != number)
                return refuse(lineOf(kSharePort),
                              QStringLiteral("[%1]: share_port=%2, but [%3] on the same port "
                                             "says %4")
                                  .arg(p.name, QString::number(number), other->second,
                                       QString::number(other->first)));
            const auto line = shareLines.constFind(number);
            if (line != shareLines.constEnd() && *line != p.target)
                return refuse(lineOf(kSharePort),
                              QStringLiteral("[%1]: share_port=%2 is already %3's")
                                  .arg(p.name, QString::number(number), *line));
            shareOf.insert(p.target, {number, p.name});
            shareLines.insert(number, p.target);
        }
        p.pjlinkPassword = section.value(QStringLiteral("pjlink_password")).value_or(QString());
        p.pjlinkInputs = section.value(QStringLiteral("pjlink_inputs")).value_or(QString());
        if (!pjlink::InputMap::parse(p.pjlinkInputs, &why))
            return refuse(lineOf(QStringLiteral("pjlink_inputs")),
                          QStringLiteral("[%1]: pjlink_inputs: %2").arg(p.name, why));
        if (const auto hours = section.value(QStringLiteral("lamp_warn_hours"))) {
            bool ok = false;
            p.lampWarnHours = hours->toInt(&ok);
            if (!ok || p.lampWarnHours < 0)
                return refuse(lineOf(QStringLiteral("lamp_warn_hours")),
                              QStringLiteral("[%1]: lamp_warn_hours must be a whole number of "
                                             "hours")
                                  .arg(p.name));
        }
        config.projectors << p;
    }
    for (ProjectorConfig& p : config.projectors)
        if (const auto share = shareOf.constFind(p.target); share != shareOf.constEnd())
            p.sharePort = share->first;
    load.site = config;
    return load;
}

} // namespace tavo::gateway
