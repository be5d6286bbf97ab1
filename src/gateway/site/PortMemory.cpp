#include "PortMemory.h"

#include "BoundedFileRead.h"
#include "SiteFile.h"
#include "SiteRules.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QSet>

#include <algorithm>
#include <optional>

namespace tavo::gateway {
namespace {

constexpr qint64 kMaxFileSize = 1024 * 1024;
constexpr qsizetype kMaxDevice = 1024;

// One holder of a port: a projector (PJLink) or a line (its first section).
struct Claim {
    QString key;
    QString section;
    std::optional<int> own;
    QString ownSection; // where a refused own port is told: the section and line that wrote it
    int ownLine = 0;
    int line = 0;
};

QList<Claim> claimsOf(PortMemory::Kind kind, const SiteConfig& site) {
    QList<Claim> claims;
    QSet<QString> lines;
    for (const ProjectorConfig& p : site.projectors) {
        if (kind == PortMemory::Kind::Pjlink) {
            claims << Claim{p.name, p.name, p.pjlinkPort, p.name, p.line, p.line};
        } else if (!lines.contains(p.target)) {
            lines.insert(p.target);
            // A line's share_port may be written in any of its sections: the last that starts
            // before that line of the file.
            QString writer = p.name;
            for (const ProjectorConfig& q : site.projectors)
                if (q.target == p.target && q.line < p.sharePortLine)
                    writer = q.name;
            claims << Claim{p.target, p.name, p.sharePort, writer, p.sharePortLine, p.line};
        }
    }
    return claims;
}

// A device goes into the file as written, up to the last '=' (a port has none); it must keep
// the file one entry a line.
bool isKey(PortMemory::Kind kind, const QString& key) {
    if (kind == PortMemory::Kind::Pjlink)
        return site::isPlainName(key);
    return !key.isEmpty() && key.size() <= kMaxDevice &&
           std::none_of(key.begin(), key.end(),
                        [](QChar c) { return c.category() == QChar::Other_Control; });
}

} // namespace

QString PortMemory::pathFor(Kind kind, const QString& stateDirectory, const QString& site) {
    return QDir(stateDirectory)
        .filePath(site + (kind == Kind::Pjlink ? QStringLiteral(".pjlink-ports")
                                               : QStringLiteral(".share-ports")));
}

bool PortMemory::read(const QString& path, QString* error) {
    m_path = path;
    m_ports.clear();
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return true;
    const site::BoundedRead file = site::readRegularFile(path, kMaxFileSize);
    if (!file.ok) {
        *error = QStringLiteral("%1: %2").arg(path, file.error);
        return false;
    }
    QSet<int> taken;
    int number = 0;
    for (const QByteArray& raw : file.bytes.split('\n')) {
        ++number;
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const qsizetype equals = line.lastIndexOf('=');
        const QString key = QString::fromUtf8(line.left(equals));
        bool ok = false;
        const int port = line.mid(equals + 1).toInt(&ok);
        if (equals <= 0 || !isKey(m_kind, key) || !ok || port < 1 || port > 65535 ||
            m_ports.contains(key) || taken.contains(port)) {
            *error = site::siteError(
                path, number,
                QStringLiteral("not %1=PORT with a %2 and a port of its own; mend or remove the "
                               "line")
                    .arg(m_kind == Kind::Pjlink ? QStringLiteral("NAME") : QStringLiteral("DEVICE"),
                         m_kind == Kind::Pjlink ? QStringLiteral("name")
                                                : QStringLiteral("device")));
            return false;
        }
        m_ports.insert(key, port);
        taken.insert(port);
    }
    return true;
}

bool PortMemory::write(QString* error) const {
    QByteArray text = m_kind == Kind::Pjlink
                          ? "# PJLink ports mx7300-gateway gave this site's projectors; a removed "
                            "line frees its port.\n"
                          : "# Share ports mx7300-gateway gave this site's lines, by device; a "
                            "removed line frees its port.\n";
    for (auto it = m_ports.begin(); it != m_ports.end(); ++it)
        text += it.key().toUtf8() + '=' + QByteArray::number(it.value()) + '\n';
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        *error = QStringLiteral("%1: %2").arg(m_path, file.errorString());
        return false;
    }
    return true;
}

bool PortMemory::assign(SiteConfig* site, int basePort, QString* error, QStringList* warnings) {
    const bool pjlink = m_kind == Kind::Pjlink;
    const QList<Claim> claims = claimsOf(m_kind, *site);
    QHash<int, QString> owner;
    for (auto it = m_ports.begin(); it != m_ports.end(); ++it)
        owner.insert(it.value(), it.key());
    QSet<int> taken;
    // Own ports first: they may not take one another projector or line had.
    for (const Claim& c : claims) {
        if (!c.own)
            continue;
        const int port = *c.own;
        const QString had = owner.value(port);
        if (!had.isEmpty() && had != c.key) {
            *error = site::siteError(
                site->path, c.ownLine,
                pjlink ? QStringLiteral("[%1]: pjlink_port=%2 is the PJLink port [%3] has had "
                                        "(%4), which room controllers may still use; choose "
                                        "another port, or remove %3's line from %4 to free it")
                             .arg(c.ownSection, QString::number(port), had, m_path)
                       : QStringLiteral("[%1]: share_port=%2 is the share port of the line %3 "
                                        "(%4), which consoles may still use; choose another "
                                        "port, or remove that line from %4 to free it")
                             .arg(c.ownSection, QString::number(port), had, m_path));
            return false;
        }
        const auto old = m_ports.constFind(c.key);
        if (old != m_ports.constEnd() && *old != port)
            *warnings << (pjlink ? QStringLiteral("[%1]: PJLink port moves from %2 to %3 (its "
                                                  "pjlink_port)")
                                       .arg(c.section, QString::number(*old), QString::number(port))
                                 : QStringLiteral("[%1]: the share port of %2 moves from %3 to "
                                                  "%4 (its share_port)")
                                       .arg(c.ownSection, c.key, QString::number(*old),
                                            QString::number(port)));
        taken.insert(port);
    }
    for (auto it = m_ports.begin(); it != m_ports.end(); ++it) {
        const bool ownPort = std::any_of(claims.begin(), claims.end(), [&](const Claim& c) {
            return c.key == it.key() && c.own;
        });
        if (!ownPort)
            taken.insert(it.value());
    }
    QHash<QString, int> given;
    int next = basePort;
    for (const Claim& c : claims) {
        if (c.own) {
            m_ports.insert(c.key, *c.own);
            given.insert(c.key, *c.own);
            continue;
        }
        if (const auto had = m_ports.constFind(c.key); had != m_ports.constEnd()) {
            given.insert(c.key, *had);
            continue;
        }
        while (taken.contains(next))
            ++next;
        if (next > 65535) {
            *error = site::siteError(
                site->path, c.line,
                (pjlink ? QStringLiteral("[%1]: no PJLink port is left from %2 to 65535; give it "
                                         "a pjlink_port")
                        : QStringLiteral("[%1]: no share port is left from %2 to 65535; give its "
                                         "line a share_port"))
                    .arg(c.section, QString::number(basePort)));
            return false;
        }
        taken.insert(next);
        m_ports.insert(c.key, next);
        given.insert(c.key, next);
    }
    for (ProjectorConfig& p : site->projectors) {
        if (pjlink)
            p.pjlinkPort = given.value(p.name);
        else
            p.sharePort = given.value(p.target);
    }
    return true;
}

} // namespace tavo::gateway
