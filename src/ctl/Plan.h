#pragma once

#include "Invocation.h"

#include <QList>
#include <QString>

#include <optional>

namespace tavo {
class SettingsStore;
}

namespace tavo::ctl {

// What the console has stored, read with the console's own rules.
struct ConsoleDefaults {
    std::optional<QString> port; // "COMn" when a usable port number is stored
    int baud = 19200;            // 9600 when BaudRate reads as 96
    QString address = QStringLiteral("single");
};
ConsoleDefaults readConsoleDefaults(const SettingsStore& store);

// One projector of the run.
struct ProjectorEntry {
    QString name;   // the site section; empty without a site
    QString target; // as written: COMn, a device path, tcp://host:port, rfc2217://host:port
    QString device; // what the port opens: the device behind COMn, else the target itself
    int baud = 19200;
    QString address; // single, all, 001..004
    QString room;
    QString via; // "gateway SITE" when the command goes through that gateway's share
};

struct Plan {
    QList<ProjectorEntry> projectors;
    QString error;       // one line when the run cannot start
    int errorStatus = 2; // the exit status that goes with it
};

// The projectors to run on: the site's named ones (or all), else the one the
// flags and the console's stored settings name. `consoleSettingsPath` is the
// file whose [Ports] section maps COMn to a device.
Plan planRun(const Invocation& invocation, const ConsoleDefaults& defaults,
             const QString& consoleSettingsPath);

// COMn with n from 1 to 15 (any case): n; otherwise nothing.
std::optional<int> comPortNumber(const QString& target);

} // namespace tavo::ctl
