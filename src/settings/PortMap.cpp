#include "PortMap.h"

#include "IniLineEditor.h"

#include <QSettings>

namespace tavo {

QString deviceForPort(int port, const QString& settingsPath) {
    // Read afresh each time: a simulator may register a port while we run.
    if (mayReadIniFile(settingsPath)) {
        const QSettings settings(settingsPath, QSettings::IniFormat);
        const QString mapped =
            settings.value(QStringLiteral("Ports/COM%1").arg(port)).toString().trimmed();
        if (!mapped.isEmpty())
            return mapped;
    }
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyUSB%1").arg(port - 1);
#endif
}

} // namespace tavo
