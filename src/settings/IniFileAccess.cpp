#include "IniFileAccess.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavo {
namespace {

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

IniEditResult failed(const QString& reason) {
    return {false, reason};
}

QString reasonForStat(const struct stat& info) {
    if (S_ISDIR(info.st_mode))
        return systemReason(EISDIR);
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("Not a regular file");
    if (info.st_size > kMaxIniFileSize)
        return QStringLiteral("%1 (larger than 1 MiB)").arg(systemReason(EFBIG));
    return {};
}

} // namespace

QString iniFileReason(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return reasonForStat(info);
}

// Opened without waiting (a FIFO would block) and checked on the open
// descriptor before reading.
IniEditResult readIniFileText(const QString& path, QByteArray* text) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT && !QFileInfo(path).isSymLink())
            return {true, {}};
        return failed(systemReason(error));
    }
    struct stat info {};
    QString reason = ::fstat(fd, &info) != 0 ? systemReason(errno) : reasonForStat(info);
    if (reason.isEmpty()) {
        QFile file;
        if (file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
            *text = file.read(kMaxIniFileSize + 1);
            if (file.error() != QFileDevice::NoError)
                reason = file.errorString();
        } else {
            reason = file.errorString();
        }
    }
    ::close(fd);
    return reason.isEmpty() ? IniEditResult{true, {}} : failed(reason);
}

QString iniFileNotWritableReason(const QString& path) {
    if (::access(QFile::encodeName(path).constData(), W_OK) != 0)
        return systemReason(errno);
    return {};
}

} // namespace tavo
