#pragma once

#include <QString>

namespace tavo {

// What became of a save; `file` names where the store keeps its values and
// `reason` is the system's reason for a failure ("Permission denied").
struct SaveResult {
    bool ok = true;
    QString file;
    QString reason;
};

// The per-user store under application "TAVO", section "StartUP".
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored text, or fallback when nothing is stored. Never fails.
    virtual QString read(const QString& key, const QString& fallback) const = 0;
    // Creates or overwrites. A failure changes nothing stored.
    virtual SaveResult save(const QString& key, const QString& value) = 0;
};

namespace keys {
inline const QString ComPort = QStringLiteral("ComPort");
inline const QString BaudRate = QStringLiteral("BaudRate");
inline const QString Address = QStringLiteral("ADRESS");
} // namespace keys

} // namespace tavo
