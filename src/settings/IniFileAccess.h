#pragma once

#include "IniLineEditor.h"

#include <QByteArray>
#include <QString>

namespace tavo {

// What reading and replacing a settings file asks of the system; one implementation for POSIX
// systems, one for Windows. Reasons are the system's words, as IniEditResult carries them.

// Why the file at `path` must not be read (see unreadableReason); empty when it may be read or
// does not exist.
QString iniFileReason(const QString& path);

// The file's content, at most kMaxIniFileSize + 1 bytes; a missing file reads as empty. Never
// waits for a writer and reads only a regular file.
IniEditResult readIniFileText(const QString& path, QByteArray* text);

// Why this user may not replace the existing file at `path`; empty when they may.
QString iniFileNotWritableReason(const QString& path);

} // namespace tavo
