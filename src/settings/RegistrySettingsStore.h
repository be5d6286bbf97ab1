#pragma once

#include "SettingsStore.h"

#include <QString>

namespace tavo {

// The store in the Windows registry, where the earlier Windows program of this console kept its
// values: HKEY_CURRENT_USER\Software\VB and VBA Program Settings\TAVO\StartUP, one string value
// per key. Both programs read and write the same values, so either can be used after the other.
class RegistrySettingsStore : public SettingsStore {
public:
    // `root` is the key above "StartUP"; the default is the per-user one above.
    explicit RegistrySettingsStore(const QString& root = defaultRoot());

    QString read(const QString& key, const QString& fallback) const override;
    SaveResult save(const QString& key, const QString& value) override;

    QString location() const; // the registry key, as regedit shows it
    static QString defaultRoot();

private:
    QString m_root;
};

} // namespace tavo
