#include "IniSettingsStore.h"

#include "IniLineEditor.h"

#include <QStandardPaths>

namespace tavo {
namespace {
const QString kSection = QStringLiteral("StartUP");

QString keyPath(const QString& key) {
    return kSection + QLatin1Char('/') + key;
}
} // namespace

QString IniSettingsStore::defaultPath() {
    // GenericConfigLocation follows XDG_CONFIG_HOME on Linux.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/TAVO/TAVO.ini");
}

IniSettingsStore::IniSettingsStore() : IniSettingsStore(defaultPath()) {}

IniSettingsStore::IniSettingsStore(const QString& path) : m_settings(path, QSettings::IniFormat) {}

QString IniSettingsStore::read(const QString& key, const QString& fallback) const {
    m_settings.sync(); // picks up what save() or another program wrote since
    const QString path = keyPath(key);
    if (!m_settings.contains(path))
        return fallback;
    const QVariant value = m_settings.value(path);
    // An unquoted comma makes QSettings read a list; give the text back whole.
    if (value.metaType().id() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

// The one line is edited in place (see IniLineEditor): QSettings would
// rewrite the whole file from what it could parse.
SaveResult IniSettingsStore::save(const QString& key, const QString& value) {
    const QString file = m_settings.fileName();
    const IniEditResult written = writeIniKey(file, kSection, key, value);
    return {written.ok, file, written.error};
}

} // namespace tavo
