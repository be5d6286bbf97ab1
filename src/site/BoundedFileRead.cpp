#include "BoundedFileRead.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavo::site {
namespace {

BoundedRead refused(const QString& error) {
    BoundedRead read;
    read.error = error;
    return read;
}

QString systemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString openFailure(const QByteArray& name, int error, FinalLink finalLink) {
    struct stat link {};
    const bool isLink = ::lstat(name.constData(), &link) == 0 && S_ISLNK(link.st_mode);
    switch (error) {
    case ENOENT:
        return isLink ? QStringLiteral("is a symbolic link to nothing")
                      : QStringLiteral("does not exist");
    case ELOOP:
        return finalLink == FinalLink::Refuse && isLink
                   ? QStringLiteral("is a symbolic link; name the file itself")
                   : QStringLiteral("is a symbolic link loop");
    default:
        return QStringLiteral("cannot be opened (%1)").arg(systemText(error));
    }
}

QString notRegular(mode_t mode) {
    if (S_ISDIR(mode))
        return QStringLiteral("is a directory, not a file");
    if (S_ISFIFO(mode))
        return QStringLiteral("is a FIFO, not a file");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("is a device, not a file");
    if (S_ISSOCK(mode))
        return QStringLiteral("is a socket, not a file");
    return QStringLiteral("is not a regular file");
}

QString tooLarge(qint64 cap) {
    return QStringLiteral("is larger than %1 KiB").arg(cap / 1024);
}

} // namespace

BoundedRead readRegularFile(const QString& path, qint64 cap, FinalLink finalLink) {
    const QByteArray name = QFile::encodeName(path);
    // O_NONBLOCK: a FIFO with no writer would block open(); O_NOCTTY: a terminal must not become
    // ours on the way to being refused.
    const int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC |
                      (finalLink == FinalLink::Refuse ? O_NOFOLLOW : 0);
    const int fd = ::open(name.constData(), flags);
    if (fd < 0)
        return refused(openFailure(name, errno, finalLink));
    BoundedRead read;
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        read.error = QStringLiteral("cannot be read (%1)").arg(systemText(errno));
    else if (!S_ISREG(info.st_mode))
        read.error = notRegular(info.st_mode);
    else if (info.st_size > cap)
        read.error = tooLarge(cap);
    else {
        // The size may change under us: never read more than one byte past the cap.
        read.bytes.resize(cap + 1);
        qint64 got = 0;
        while (got < cap + 1) {
            const ssize_t n = ::read(fd, read.bytes.data() + got, size_t(cap + 1 - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                read.error = QStringLiteral("cannot be read (%1)").arg(systemText(errno));
                break;
            }
            if (n == 0)
                break;
            got += n;
        }
        read.bytes.resize(got);
        if (read.error.isEmpty() && got > cap)
            read.error = tooLarge(cap);
    }
    ::close(fd);
    read.ok = read.error.isEmpty();
    if (!read.ok)
        read.bytes.clear();
    return read;
}

} // namespace tavo::site
