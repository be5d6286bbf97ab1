#include "TrafficLogSettings.h"

#include "IniLineEditor.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace tavo {

QString defaultTrafficLogFolder() {
#ifdef Q_OS_WIN
    // %LOCALAPPDATA%\TAVO\log, beside the settings file.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/TAVO/log");
#else
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    // XDG base directories must be absolute paths; anything else is ignored.
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/TAVO/log");
#endif
}

bool trafficLogFileEnabled(const QString& settingsPath) {
    // A FIFO or a device in place of the file would block or fill memory.
    if (!mayReadIniFile(settingsPath))
        return true;
    const QSettings ini(settingsPath, QSettings::IniFormat);
    const QString value = ini.value(QStringLiteral("Log/Enabled")).toString().trimmed().toLower();
    return !(value == QLatin1String("false") || value == QLatin1String("0") ||
             value == QLatin1String("no") || value == QLatin1String("off"));
}

} // namespace tavo
