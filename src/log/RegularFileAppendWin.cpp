#include "RegularFileAppend.h"

#include "OpenFileKind.h"

#include <QFile>
#include <QFileInfo>

namespace tavo {

// Windows has no FIFO that holds an open, and making a symbolic link takes a privilege most
// users lack: the name is checked, then the open handle.
bool openRegularFileToAppend(QFile& file, const QString& path, QString* reason) {
    reason->clear();
    const QFileInfo info(path);
    if (info.isSymLink() || info.isJunction()) {
        *reason = QStringLiteral("it is a symbolic link; the log writes only to a regular file");
        return false;
    }
    if (info.isDir()) {
        *reason = QStringLiteral("it is a folder; the log writes only to a regular file");
        return false;
    }
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        *reason = file.errorString();
        return false;
    }
    if (!platform::openFileNotRegular(file).isEmpty()) {
        file.close();
        *reason = QStringLiteral("it is not a regular file; the log writes only to a regular file");
        return false;
    }
    return true;
}

} // namespace tavo
