#include "IniSettingsStore.h"

#include "IniLineEditor.h"

#include <QSettings>
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

IniSettingsStore::IniSettingsStore(const QString& path) : m_path(path) {}

QString IniSettingsStore::read(const QString& key, const QString& fallback) const {
    // A FIFO or a device would block or fill memory: read only a small regular file.
    if (!mayReadIniFile(m_path))
        return fallback;
    // A new reader each time picks up what save() or another program wrote since.
    const QSettings settings(m_path, QSettings::IniFormat);
    const QString path = keyPath(key);
    if (!settings.contains(path))
        return fallback;
    const QVariant value = settings.value(path);
    // An unquoted comma makes QSettings read a list; give the text back whole.
    if (value.metaType().id() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

// The one line is edited in place (see IniLineEditor): QSettings would
// rewrite the whole file from what it could parse.
SaveResult IniSettingsStore::save(const QString& key, const QString& value) {
    const QString file = m_path;
    const IniEditResult written = writeIniKey(file, kSection, key, value);
    return {written.ok, file, written.error};
}

} // namespace tavo
