#pragma once

#include "SiteConfig.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace tavo::gateway {

// The PJLink port each projector was given, remembered in the service's state directory so
// that a room controller set up for a port keeps reaching the same projector when sections are
// added, removed or reordered. One "NAME=PORT" line per projector, in SITE.pjlink-ports;
// projectors removed from the site keep their line, so their port is not handed to another.
class PjlinkPortMemory {
public:
    // "DIR/SITE.pjlink-ports".
    static QString pathFor(const QString& stateDirectory, const QString& site);

    // An absent file is an empty memory; a malformed one is refused (false, `error` with
    // FILE:LINE).
    bool read(const QString& path, QString* error);
    // Replaced whole, atomically.
    bool write(QString* error) const;

    // Gives every projector its port (ProjectorConfig::pjlinkPort): its own pjlink_port, else
    // the one it had, else the lowest free port from `basePort` on. False, with `error` naming
    // the site file's line, when a pjlink_port takes a port another projector had; a projector
    // whose own pjlink_port moved it is in `warnings`, naming the old and new port. The memory
    // then holds the new assignments.
    bool assign(SiteConfig* site, int basePort, QString* error, QStringList* warnings);

    const QMap<QString, int>& ports() const { return m_ports; }

private:
    QString m_path;
    QMap<QString, int> m_ports; // by projector name
};

} // namespace tavo::gateway
