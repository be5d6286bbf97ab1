#pragma once

#include <QString>

namespace tavo {

// $XDG_STATE_HOME/TAVO/log, or ~/.local/state/TAVO/log when it is unset;
// %LOCALAPPDATA%\TAVO\log on Windows.
QString defaultTrafficLogFolder();

// Key Enabled of section [Log] in the settings file: the log file is written
// unless it says false (or 0, no, off). Only read, never written.
bool trafficLogFileEnabled(const QString& settingsPath);

} // namespace tavo
