#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tavo::site {

// One projector of a site, as its section says once every rule has passed.
struct SiteProjector {
    QString name;      // [A-Za-z0-9_-]+, as written
    QString room;      // free text; may be empty
    QString target;    // as written: a device path, COMn, tcp://…, rfc2217://…
    int baud = 19200;  // 9600 or 19200
    QString address;   // single, all, 001..004
    QByteArray prefix; // "", "AFFF", "A001".."A004"
    int line = 0;      // of its section header in the site file
    std::optional<int> pjlinkPort;
    int pjlinkPortLine = 0;       // where pjlink_port is written, for what a later check refuses
    std::optional<int> sharePort; // the TCP port its line is shared on: one for the whole line
    int sharePortLine = 0;        // where the line's share_port is written
    QString pjlinkPassword;
    QString pjlinkInputs; // "1=11,2=12,…" overriding the input mapping
    int lampWarnHours = 3000;
};

} // namespace tavo::site
