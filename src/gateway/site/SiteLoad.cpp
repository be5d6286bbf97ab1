#include "SiteLoad.h"

#include "SiteFile.h"
#include "SiteReader.h"
#include "SiteRules.h"

#include <QFileInfo>
#include <QHash>

namespace tavo::gateway {

SiteLoad loadSite(const QString& path, const QString& siteName, std::optional<int> pjlinkBasePort) {
    SiteLoad load;
    const auto refuse = [&](int line, const QString& why) {
        load.error = site::siteError(path, line, why);
        return load;
    };
    // Every section names its own port: the gateway has no flags or stored settings to fill it.
    site::SiteProjectors read = site::readSite(path);
    if (!read.projectors) {
        load.error = read.error;
        return load;
    }
    SiteConfig config;
    config.path = path;
    config.name = siteName.isEmpty() ? QFileInfo(path).completeBaseName() : siteName;
    if (!site::isPlainName(config.name))
        return refuse(0, QStringLiteral("the site name \"%1\" is not letters, digits, _ and - "
                                        "(give --name)")
                             .arg(config.name));
    config.projectors = std::move(*read.projectors);
    // The PJLink ports the projectors without their own take from --pjlink's range (0 there: any
    // free one) must be free of the others' own ports and within range.
    QHash<int, QString> pjlinkPorts; // taken: by which projector
    for (qsizetype index = 0; index < config.projectors.size(); ++index) {
        const ProjectorConfig& p = config.projectors[index];
        const int pjlinkPort = p.pjlinkPort ? *p.pjlinkPort
                               : pjlinkBasePort && *pjlinkBasePort > 0
                                   ? *pjlinkBasePort + int(index)
                                   : 0;
        if (pjlinkPort > 65535)
            return refuse(p.line,
                          QStringLiteral("[%1]: PJLink port %2 (--pjlink's first port plus %3) "
                                         "is beyond 65535; give it a pjlink_port")
                              .arg(p.name, QString::number(pjlinkPort), QString::number(index)));
        if (pjlinkPort == 0)
            continue;
        const auto holder = pjlinkPorts.constFind(pjlinkPort);
        if (holder != pjlinkPorts.constEnd())
            return refuse(p.pjlinkPort ? p.pjlinkPortLine : p.line,
                          QStringLiteral("[%1]: PJLink port %2 is already [%3]'s")
                              .arg(p.name, QString::number(pjlinkPort), *holder));
        pjlinkPorts.insert(pjlinkPort, p.name);
    }
    load.site = std::move(config);
    return load;
}

} // namespace tavo::gateway
