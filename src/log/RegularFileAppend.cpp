#include "RegularFileAppend.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavo {
namespace {

QString notRegular(mode_t mode) {
    if (S_ISLNK(mode))
        return QStringLiteral("it is a symbolic link; the log writes only to a regular file");
    if (S_ISDIR(mode))
        return QStringLiteral("it is a folder; the log writes only to a regular file");
    return QStringLiteral("it is not a regular file; the log writes only to a regular file");
}

// ELOOP is O_NOFOLLOW meeting a link, ENXIO a FIFO or socket nobody reads:
// say what is there rather than the system's words for it.
QString openFailure(const QByteArray& name, int error) {
    struct stat info {};
    if ((error == ELOOP || error == ENXIO || error == EISDIR) &&
        ::lstat(name.constData(), &info) == 0 && !S_ISREG(info.st_mode))
        return notRegular(info.st_mode);
    return qt_error_string(error);
}

} // namespace

bool openRegularFileToAppend(QFile& file, const QString& path, QString* reason) {
    reason->clear();
    const QByteArray name = QFile::encodeName(path);
    // O_NONBLOCK changes nothing for a regular file once open.
    const int fd =
        ::open(name.constData(),
               O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        *reason = openFailure(name, errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        *reason = qt_error_string(errno);
    else if (!S_ISREG(info.st_mode))
        *reason = notRegular(info.st_mode); // a FIFO someone reads, a device
    if (!reason->isEmpty()) {
        ::close(fd);
        return false;
    }
    if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Append, QFileDevice::AutoCloseHandle)) {
        *reason = file.errorString();
        ::close(fd);
        return false;
    }
    return true;
}

} // namespace tavo
