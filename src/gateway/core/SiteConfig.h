#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace tavo::gateway {

// One projector of the site, as its section says.
struct ProjectorConfig {
    QString name;      // [A-Za-z0-9_-]+, as written
    QString room;      // free text; may be empty
    QString target;    // as written: a device path, tcp://…, rfc2217://…
    int baud = 19200;  // 9600 or 19200
    QString address;   // single, all, 001..004
    QByteArray prefix; // "", "AFFF", "A001".."A004"
    int line = 0;      // of its section header in the site file
    std::optional<int> pjlinkPort;
    std::optional<int> sharePort; // the TCP port its line is shared on; one for the line
    QString pjlinkPassword;
    QString pjlinkInputs; // "1=11,2=12,…" overriding the input mapping
    int lampWarnHours = 3000;
};

struct SiteConfig {
    QString name; // [A-Za-z0-9_-]+
    QString path;
    QList<ProjectorConfig> projectors;
};

// Site and projector names: letters, digits, '_' and '-', as MQTT topics and Home Assistant ids
// take them.
bool isPlainName(const QString& name);

} // namespace tavo::gateway
