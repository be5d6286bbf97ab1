#pragma once

#include "SettingsStore.h"

#include <QString>

namespace tavo {

// The store as an INI file, $XDG_CONFIG_HOME/TAVO/TAVO.ini (~/.config when
// unset), section [StartUP]. Each save is written through at once.
class IniSettingsStore : public SettingsStore {
public:
    IniSettingsStore();
    explicit IniSettingsStore(const QString& path);

    QString read(const QString& key, const QString& fallback) const override;
    SaveResult save(const QString& key, const QString& value) override;

    QString path() const { return m_path; }
    static QString defaultPath();

private:
    QString m_path;
};

} // namespace tavo
