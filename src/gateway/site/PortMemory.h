#pragma once

#include "SiteConfig.h"

#include <QMap>
#include <QString>
#include <QStringList>

namespace tavo::gateway {

// The ports a site's projectors (PJLink) or lines (shares) were given, remembered in the
// service's state directory so that a room controller or a console set up for a port keeps
// reaching the same projector or line when sections are added, removed or reordered. One
// "KEY=PORT" line each, in SITE.pjlink-ports (by projector name) or SITE.share-ports (by the
// line's device as the site file writes it); keys that left the site keep their line, so their
// port is not handed to another.
class PortMemory {
public:
    enum class Kind { Pjlink, Share };

    explicit PortMemory(Kind kind = Kind::Pjlink) : m_kind(kind) {}

    // "DIR/SITE.pjlink-ports" or "DIR/SITE.share-ports".
    static QString pathFor(Kind kind, const QString& stateDirectory, const QString& site);

    // An absent file is an empty memory; a malformed one is refused (false, `error` with
    // FILE:LINE).
    bool read(const QString& path, QString* error);
    // Replaced whole, atomically.
    bool write(QString* error) const;

    // Gives every projector (ProjectorConfig::pjlinkPort) or every line (sharePort, on each of
    // its sections) its port: its own, else the one it had, else the lowest free one from
    // `basePort` on, in file order. False, with `error` naming the site file's line, when an
    // own port takes a port another had; one whose own port moved it is in `warnings`, naming
    // the old and new port. The memory then holds the new assignments.
    bool assign(SiteConfig* site, int basePort, QString* error, QStringList* warnings);

    Kind kind() const { return m_kind; }
    const QMap<QString, int>& ports() const { return m_ports; }

private:
    Kind m_kind;
    QString m_path;
    QMap<QString, int> m_ports; // by projector name or line
};

} // namespace tavo::gateway
