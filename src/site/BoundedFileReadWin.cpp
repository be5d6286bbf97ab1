#include "BoundedFileRead.h"

#include "OpenFileKind.h"

#include <QFile>
#include <QFileInfo>

namespace tavo::site {
namespace {

BoundedRead refused(const QString& error) {
    BoundedRead read;
    read.error = error;
    return read;
}

QString tooLarge(qint64 cap) {
    return QStringLiteral("is larger than %1 KiB").arg(cap / 1024);
}

} // namespace

// Windows has no FIFO that holds an open: a file, a device or a pipe opens at once, and its
// handle says which it is.
BoundedRead readRegularFile(const QString& path, qint64 cap, FinalLink finalLink) {
    const QFileInfo info(path);
    if (finalLink == FinalLink::Refuse && info.isSymLink())
        return refused(info.exists() ? QStringLiteral("is a symbolic link; name the file itself")
                                     : QStringLiteral("is a symbolic link to nothing"));
    if (info.isDir())
        return refused(QStringLiteral("is a directory, not a file"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (info.isSymLink() && !info.exists())
            return refused(QStringLiteral("is a symbolic link to nothing"));
        if (!info.exists())
            return refused(QStringLiteral("does not exist"));
        return refused(QStringLiteral("cannot be opened (%1)").arg(file.errorString()));
    }
    const QString kind = platform::openFileNotRegular(file);
    if (!kind.isEmpty())
        return refused(QStringLiteral("is %1, not a file").arg(kind));
    if (file.size() > cap)
        return refused(tooLarge(cap));
    // The size may change under us: never read more than one byte past the cap.
    BoundedRead read;
    read.bytes = file.read(cap + 1);
    if (file.error() != QFileDevice::NoError)
        return refused(QStringLiteral("cannot be read (%1)").arg(file.errorString()));
    if (read.bytes.size() > cap)
        return refused(tooLarge(cap));
    read.ok = true;
    return read;
}

} // namespace tavo::site
