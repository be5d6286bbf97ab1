#pragma once

#include <QString>

namespace tavo {

// The per-user store under application "TAVO", section "StartUP".
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored text, or fallback when nothing is stored. Never fails.
    virtual QString read(const QString& key, const QString& fallback) const = 0;
    // Creates or overwrites; callers do not look at the outcome.
    virtual void save(const QString& key, const QString& value) = 0;
};

namespace keys {
inline const QString ComPort = QStringLiteral("ComPort");
inline const QString BaudRate = QStringLiteral("BaudRate");
inline const QString Address = QStringLiteral("ADRESS");
} // namespace keys

} // namespace tavo
