#pragma once

#include <QString>

class QFile;

namespace tavo {

// Opens `path` for appending, creating it, into `file`: only a regular file,
// never through a symbolic link named `path` (a symlinked folder above it is
// fine), and never waiting (a FIFO would hold the caller in open() until
// someone read it). False and the reason in words otherwise.
bool openRegularFileToAppend(QFile& file, const QString& path, QString* reason);

} // namespace tavo
