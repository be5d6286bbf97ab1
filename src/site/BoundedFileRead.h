#pragma once

#include <QByteArray>
#include <QString>

namespace tavo::site {

struct BoundedRead {
    bool ok = false;
    QByteArray bytes;
    QString error; // why not, in a few words: "does not exist", "is a FIFO, not a file"
};

// Whether the last part of the path may be a symbolic link. A secret is read only from the file
// itself, so a link planted beside it cannot point the program at another file.
enum class FinalLink { Follow, Refuse };

// The content of the regular file at `path`, when it holds at most `cap` bytes. Anything else
// (a FIFO, a directory, a device, a symbolic link loop) is refused at once: the file is opened
// without waiting and checked on the open descriptor, and at most cap + 1 bytes are read.
BoundedRead readRegularFile(const QString& path, qint64 cap,
                            FinalLink finalLink = FinalLink::Follow);

} // namespace tavo::site
