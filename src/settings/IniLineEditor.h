#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tavo {

struct IniEditResult {
    bool ok = false;
    QString error; // the system's reason, e.g. "Permission denied"
};

// A settings file is a few lines; anything larger is not one.
constexpr qint64 kMaxIniFileSize = 1024 * 1024;

// Why the INI file at `path` must not be read: it is not a regular file (a
// FIFO would block, a device may never end) or it is larger than
// kMaxIniFileSize. Empty when it may be read or does not exist.
QString unreadableReason(const QString& path);

// True when the file may be read (see unreadableReason); otherwise says why on
// standard error, once per file and reason.
bool mayReadIniFile(const QString& path);

// Sets `key` in [section] of the INI file at `path` to `value`, changing no
// other byte of the file; creates the file, folder or section when missing.
// The value is quoted and escaped as QSettings would write it, so QSettings
// reads it back exactly. Takes the lock QSettings takes and replaces the file
// in one step: when the file cannot be read or replaced nothing is written.
IniEditResult writeIniKey(const QString& path, const QString& section, const QString& key,
                          const QString& value);

// Removes the key's line(s) from [section]; no other byte changes. A missing
// key or file is not an error.
IniEditResult removeIniKey(const QString& path, const QString& section, const QString& key);

// The text after "=" of the key's last line in [section], trimmed and not
// unescaped; nothing when the file or the key is missing.
std::optional<QByteArray> readIniKeyRaw(const QString& path, const QString& section,
                                        const QString& key);

} // namespace tavo
