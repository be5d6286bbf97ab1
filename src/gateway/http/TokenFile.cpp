#include "TokenFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavo::gateway {

std::optional<QByteArray> readTokenFile(const QString& path, QString* error) {
    auto fail = [&](const QString& why) -> std::optional<QByteArray> {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, why);
        return std::nullopt;
    };
    // O_NONBLOCK: a FIFO in its place must not hang the start; O_NOFOLLOW: nor a link.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return fail(QStringLiteral("not a regular file"));
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(file.errorString());
    }
    QByteArray token = file.read(kTokenFileLimit + 1);
    if (token.size() > kTokenFileLimit)
        return fail(QStringLiteral("longer than %1 bytes").arg(kTokenFileLimit));
    if (token.endsWith("\r\n"))
        token.chop(2);
    else if (token.endsWith('\n'))
        token.chop(1);
    for (const char c : token) {
        if (c <= 0x20 || c >= 0x7F)
            return fail(QStringLiteral("the token must be one line of printable ASCII "
                                       "without spaces"));
    }
    if (token.size() < kTokenMinimum)
        return fail(QStringLiteral("the token must be at least %1 characters").arg(kTokenMinimum));
    return token;
}

} // namespace tavo::gateway
