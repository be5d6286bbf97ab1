#include "IniFileAccess.h"

#include "OpenFileKind.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace tavo {
namespace {

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString tooLarge() {
    return QStringLiteral("%1 (larger than 1 MiB)").arg(systemReason(EFBIG));
}

} // namespace

QString iniFileReason(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    if (info.isDir())
        return systemReason(EISDIR);
    if (!info.isFile())
        return QStringLiteral("Not a regular file");
    if (info.size() > kMaxIniFileSize)
        return tooLarge();
    return {};
}

// Windows has no FIFO that holds an open: a device or a pipe opens at once, and its handle says
// what it is.
IniEditResult readIniFileText(const QString& path, QByteArray* text) {
    const QFileInfo info(path);
    if (info.isDir())
        return {false, systemReason(EISDIR)};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (!info.exists() && !info.isSymLink())
            return {true, {}};
        return {false, file.errorString()};
    }
    if (!platform::openFileNotRegular(file).isEmpty())
        return {false, QStringLiteral("Not a regular file")};
    if (file.size() > kMaxIniFileSize)
        return {false, tooLarge()};
    *text = file.read(kMaxIniFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        return {false, file.errorString()};
    return {true, {}};
}

QString iniFileNotWritableReason(const QString& path) {
    if (!QFileInfo(path).isWritable())
        return systemReason(EACCES);
    return {};
}

} // namespace tavo
