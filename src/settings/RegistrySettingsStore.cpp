#include "RegistrySettingsStore.h"

#include <QSettings>

namespace tavo {
namespace {
const QString kSection = QStringLiteral("StartUP");
} // namespace

QString RegistrySettingsStore::defaultRoot() {
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\TAVO");
}

RegistrySettingsStore::RegistrySettingsStore(const QString& root) : m_root(root) {}

QString RegistrySettingsStore::location() const {
    return m_root + QLatin1Char('\\') + kSection;
}

// The earlier program stored every value as a string (REG_SZ); so does QSettings for a QString.
QString RegistrySettingsStore::read(const QString& key, const QString& fallback) const {
    const QSettings settings(m_root, QSettings::NativeFormat);
    const QString path = kSection + QLatin1Char('/') + key;
    if (!settings.contains(path))
        return fallback;
    return settings.value(path).toString();
}

SaveResult RegistrySettingsStore::save(const QString& key, const QString& value) {
    QSettings settings(m_root, QSettings::NativeFormat);
    settings.setValue(kSection + QLatin1Char('/') + key, value);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        return {false, location(), QStringLiteral("The registry key cannot be written")};
    return {true, location(), {}};
}

} // namespace tavo
