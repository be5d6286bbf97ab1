#include "PjlinkPortMemory.h"

#include "BoundedFileRead.h"
#include "SiteFile.h"
#include "SiteRules.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QSet>

#include <algorithm>

namespace tavo::gateway {
namespace {

constexpr qint64 kMaxFileSize = 1024 * 1024;

} // namespace

QString PjlinkPortMemory::pathFor(const QString& stateDirectory, const QString& site) {
    return QDir(stateDirectory).filePath(site + QStringLiteral(".pjlink-ports"));
}

bool PjlinkPortMemory::read(const QString& path, QString* error) {
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
        const qsizetype equals = line.indexOf('=');
        const QString name = QString::fromUtf8(line.left(equals));
        bool ok = false;
        const int port = line.mid(equals + 1).toInt(&ok);
        if (equals <= 0 || !site::isPlainName(name) || !ok || port < 1 || port > 65535 ||
            m_ports.contains(name) || taken.contains(port)) {
            *error = site::siteError(path, number,
                                     QStringLiteral("not NAME=PORT with a name and a port of its "
                                                    "own; mend or remove the line"));
            return false;
        }
        m_ports.insert(name, port);
        taken.insert(port);
    }
    return true;
}

bool PjlinkPortMemory::write(QString* error) const {
    QByteArray text = "# PJLink ports mx7300-gateway gave this site's projectors; a removed "
                      "line frees its port.\n";
    for (auto it = m_ports.begin(); it != m_ports.end(); ++it)
        text += it.key().toUtf8() + '=' + QByteArray::number(it.value()) + '\n';
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        *error = QStringLiteral("%1: %2").arg(m_path, file.errorString());
        return false;
    }
    return true;
}

bool PjlinkPortMemory::assign(SiteConfig* site, int basePort, QString* error,
                              QStringList* warnings) {
    QHash<int, QString> owner;
    for (auto it = m_ports.begin(); it != m_ports.end(); ++it)
        owner.insert(it.value(), it.key());
    QSet<int> taken;
    // Own ports first: they may not take one another projector had.
    for (const ProjectorConfig& p : site->projectors) {
        if (!p.pjlinkPort)
            continue;
        const int port = *p.pjlinkPort;
        const QString had = owner.value(port);
        if (!had.isEmpty() && had != p.name) {
            *error = site::siteError(
                site->path, p.line,
                QStringLiteral("[%1]: pjlink_port=%2 is the PJLink port [%3] has had (%4), which "
                               "room controllers may still use; choose another port, or remove "
                               "%3's line from %4 to free it")
                    .arg(p.name, QString::number(port), had, m_path));
            return false;
        }
        const auto old = m_ports.constFind(p.name);
        if (old != m_ports.constEnd() && *old != port)
            *warnings << QStringLiteral("[%1]: PJLink port moves from %2 to %3 (its pjlink_port)")
                             .arg(p.name, QString::number(*old), QString::number(port));
        taken.insert(port);
    }
    for (auto it = m_ports.begin(); it != m_ports.end(); ++it) {
        const bool ownPort = std::any_of(
            site->projectors.begin(), site->projectors.end(),
            [&](const ProjectorConfig& p) { return p.name == it.key() && p.pjlinkPort; });
        if (!ownPort)
            taken.insert(it.value());
    }
    int next = basePort;
    for (ProjectorConfig& p : site->projectors) {
        if (p.pjlinkPort) {
            m_ports.insert(p.name, *p.pjlinkPort);
            continue;
        }
        if (const auto had = m_ports.constFind(p.name); had != m_ports.constEnd()) {
            p.pjlinkPort = *had;
            continue;
        }
        while (taken.contains(next))
            ++next;
        if (next > 65535) {
            *error = site::siteError(site->path, p.line,
                                     QStringLiteral("[%1]: no PJLink port is left from %2 to "
                                                    "65535; give it a pjlink_port")
                                         .arg(p.name, QString::number(basePort)));
            return false;
        }
        p.pjlinkPort = next;
        taken.insert(next);
        m_ports.insert(p.name, next);
    }
    return true;
}

} // namespace tavo::gateway
