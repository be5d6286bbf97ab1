#include "SiteReader.h"

#include "PjlinkInputMap.h"
#include "SiteFile.h"
#include "SiteRules.h"

#include "Address.h"

#include <QHash>

namespace tavo::site {
namespace {

const QString kPort = QStringLiteral("port");
const QString kBaud = QStringLiteral("baud");
const QString kAddress = QStringLiteral("address");
const QString kRoom = QStringLiteral("room");
const QString kPjlinkPort = QStringLiteral("pjlink_port");
const QString kPjlinkPassword = QStringLiteral("pjlink_password");
const QString kPjlinkInputs = QStringLiteral("pjlink_inputs");
const QString kLampWarnHours = QStringLiteral("lamp_warn_hours");
const QString kSharePort = QStringLiteral("share_port");

const QStringList kKeys{kPort,           kBaud,         kAddress,       kRoom,     kPjlinkPort,
                        kPjlinkPassword, kPjlinkInputs, kLampWarnHours, kSharePort};

// The section's checks after the whole file's; each refusal at the line that says it.
class SectionReader {
public:
    SectionReader(const QString& path, const SiteSection& section)
        : m_path(path), m_section(section) {}

    // Empty when the section reads right; otherwise "FILE:LINE: reason".
    QString read(const SiteDefaults& defaults, int baud, SiteProjector* p) const {
        const QString& name = m_section.name;
        if (!isPlainName(name))
            return at(QString(), QStringLiteral("[%1]: a projector's name is letters, digits, _ "
                                                "and -")
                                     .arg(name));
        if (name == QLatin1String("gateway"))
            return at(QString(),
                      QStringLiteral("[gateway]: the name is the gateway's own topic; choose "
                                     "another"));
        for (const SiteEntry& e : m_section.entries) {
            if (!kKeys.contains(e.key))
                return at(e.key, QStringLiteral("[%1] has an unknown key \"%2\" (%3)")
                                     .arg(name, e.key, kKeys.join(QStringLiteral(", "))));
        }
        p->name = name;
        p->line = m_section.line;
        p->baud = baud;
        p->target = m_section.value(kPort).value_or(defaults.port).trimmed();
        if (p->target.isEmpty())
            return at(kPort, QStringLiteral("[%1]: no port= (a device path, tcp://HOST:PORT or "
                                            "rfc2217://HOST:PORT)")
                                 .arg(name));
        if (const QString problem = portProblem(p->target); !problem.isEmpty())
            return at(kPort, QStringLiteral("[%1]: port %2").arg(name, problem));
        p->address = m_section.value(kAddress).value_or(defaults.address);
        const auto prefix = prefixForAddressWord(p->address);
        if (!prefix)
            return at(kAddress, QStringLiteral("[%1]: address must be single, all, 001, 002, 003 "
                                               "or 004")
                                    .arg(name));
        p->prefix = *prefix;
        p->room = m_section.value(kRoom).value_or(QString());
        if (const auto port = m_section.value(kPjlinkPort)) {
            bool ok = false;
            const int number = port->toInt(&ok);
            if (!ok || number < 1 || number > 65535)
                return at(kPjlinkPort,
                          QStringLiteral("[%1]: pjlink_port must be 1 to 65535").arg(name));
            p->pjlinkPort = number;
            p->pjlinkPortLine = m_section.entry(kPjlinkPort)->line;
        }
        if (const auto port = m_section.value(kSharePort)) {
            bool ok = false;
            const int number = port->toInt(&ok);
            if (!ok || number < 1 || number > 65535)
                return at(kSharePort,
                          QStringLiteral("[%1]: share_port must be 1 to 65535").arg(name));
            p->sharePort = number;
            p->sharePortLine = m_section.entry(kSharePort)->line;
        }
        p->pjlinkPassword = m_section.value(kPjlinkPassword).value_or(QString());
        p->pjlinkInputs = m_section.value(kPjlinkInputs).value_or(QString());
        QString why;
        if (!PjlinkInputMap::parse(p->pjlinkInputs, &why))
            return at(kPjlinkInputs, QStringLiteral("[%1]: pjlink_inputs: %2").arg(name, why));
        if (const auto hours = m_section.value(kLampWarnHours)) {
            bool ok = false;
            p->lampWarnHours = hours->toInt(&ok);
            if (!ok || p->lampWarnHours < 0)
                return at(kLampWarnHours, QStringLiteral("[%1]: lamp_warn_hours must be a whole "
                                                         "number of hours")
                                              .arg(name));
        }
        return {};
    }

private:
    // At the key's line, or the section's when the key is not written (or `key` is empty).
    QString at(const QString& key, const QString& reason) const {
        const SiteEntry* entry = key.isEmpty() ? nullptr : m_section.entry(key);
        return siteError(m_path, entry ? entry->line : m_section.line, reason);
    }

    const QString& m_path;
    const SiteSection& m_section;
};

// A line is shared on one port: every section on it that names one names the same, and no two
// lines name one port.
class SharePorts {
public:
    // Empty when `p`'s share_port (if any) keeps the rules; otherwise "FILE:LINE: reason".
    QString take(const QString& path, const QString& line, const SiteProjector& p) {
        if (!p.sharePort)
            return {};
        const int port = *p.sharePort;
        if (const auto other = m_byLine.constFind(line); other != m_byLine.constEnd()) {
            if (other->port != port)
                return siteError(path, p.sharePortLine,
                                 QStringLiteral("[%1]: share_port=%2, but [%3] on the same port "
                                                "says %4")
                                     .arg(p.name, QString::number(port), other->name,
                                          QString::number(other->port)));
            return {};
        }
        if (const auto other = m_byPort.constFind(port); other != m_byPort.constEnd())
            return siteError(path, p.sharePortLine,
                             QStringLiteral("[%1]: share_port=%2 is already %3's")
                                 .arg(p.name, QString::number(port), *other));
        m_byLine.insert(line, {port, p.name, p.sharePortLine});
        m_byPort.insert(port, line);
        return {};
    }
    void fill(const QString& line, SiteProjector* p) const {
        if (const auto share = m_byLine.constFind(line); share != m_byLine.constEnd()) {
            p->sharePort = share->port;
            p->sharePortLine = share->fileLine;
        }
    }

private:
    struct Share {
        int port;
        QString name; // of the section that names it first
        int fileLine;
    };
    QHash<QString, Share> m_byLine;
    QHash<int, QString> m_byPort; // the line it is the share of
};

SiteProjectors refused(const QString& error) {
    SiteProjectors read;
    read.error = error;
    return read;
}

SiteProjectors readProjectors(const SiteRead& read, const SiteDefaults& defaults) {
    if (!read.site)
        return refused(read.error);
    const SiteFile& site = *read.site;
    QString error;
    const auto lineOf = [&](const SiteSection& section) {
        const QString target = section.value(kPort).value_or(defaults.port).trimmed();
        return defaults.deviceOf && !target.isEmpty() ? defaults.deviceOf(target) : target;
    };
    const auto rates = baudRates(site, defaults.baud, lineOf, &error);
    if (!rates)
        return refused(error);
    QList<SiteProjector> projectors;
    projectors.reserve(site.sections.size());
    QHash<int, QString> pjlinkPorts; // each projector's own, by port
    SharePorts shares;
    for (qsizetype i = 0; i < site.sections.size(); ++i) {
        const SiteSection& section = site.sections[i];
        SiteProjector p;
        error = SectionReader(site.path, section).read(defaults, rates->at(i), &p);
        if (!error.isEmpty())
            return refused(error);
        if (p.pjlinkPort) {
            const auto holder = pjlinkPorts.constFind(*p.pjlinkPort);
            if (holder != pjlinkPorts.constEnd())
                return refused(
                    siteError(site.path, p.pjlinkPortLine,
                              QStringLiteral("[%1]: PJLink port %2 is already [%3]'s")
                                  .arg(p.name, QString::number(*p.pjlinkPort), *holder)));
            pjlinkPorts.insert(*p.pjlinkPort, p.name);
        }
        error = shares.take(site.path, lineOf(section), p);
        if (!error.isEmpty())
            return refused(error);
        projectors << p;
    }
    // A section that names no share port is on its line's all the same.
    for (qsizetype i = 0; i < projectors.size(); ++i)
        shares.fill(lineOf(site.sections[i]), &projectors[i]);
    SiteProjectors out;
    out.projectors = std::move(projectors);
    return out;
}

} // namespace

SiteProjectors readSite(const QString& path, const SiteDefaults& defaults) {
    return readProjectors(readSiteFile(path), defaults);
}

SiteProjectors readSiteText(const QString& path, const QByteArray& text,
                            const SiteDefaults& defaults) {
    return readProjectors(parseSiteText(path, text), defaults);
}

} // namespace tavo::site
