#include "sim/PortRegistration.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace tavo::sim {

QString consoleSettingsFile() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/TAVO/TAVO.ini");
}

bool PortRegistration::add(int port, const QString& device, QString* error) {
    QDir().mkpath(QFileInfo(file_).absolutePath());
    const QString key = QStringLiteral("Ports/COM%1").arg(port);
    QSettings settings(file_, QSettings::IniFormat);
    settings.setValue(key, device);
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        *error = QStringLiteral("cannot write %1").arg(file_);
        return false;
    }
    key_ = key;
    return true;
}

void PortRegistration::remove() {
    if (key_.isEmpty())
        return;
    QSettings settings(file_, QSettings::IniFormat);
    settings.remove(key_);
    settings.sync();
    key_.clear();
}

} // namespace tavo::sim
