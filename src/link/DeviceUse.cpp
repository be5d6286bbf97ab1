#include "DeviceUse.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace tavo {
namespace {

bool statDevice(const QString& device, struct stat* info) {
    return ::stat(QFile::encodeName(device).constData(), info) == 0 && S_ISCHR(info->st_mode);
}

QString commandOf(const QString& pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLocal8Bit(comm.readAll().trimmed());
}

// tty_nr of /proc/PID/stat: the kernel's encoding of the terminal's number.
quint64 encodedDevice(dev_t device) {
    const quint64 major = ::major(device);
    const quint64 minor = ::minor(device);
    return (minor & 0xff) | (major << 8) | ((minor & ~quint64(0xff)) << 12);
}

} // namespace

QString terminalUse(const QString& device) {
    struct stat info {};
    if (!statDevice(device, &info))
        return {};
    if (info.st_rdev == ::makedev(5, 0))
        return QStringLiteral("%1 is the terminal of this program's own session").arg(device);
    const quint64 wanted = encodedDevice(info.st_rdev);
    QString found;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& pid : pids) {
        if (pid.isEmpty() || !pid.at(0).isDigit())
            continue;
        QFile statFile(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!statFile.open(QIODevice::ReadOnly))
            continue;
        const QByteArray stat = statFile.readAll();
        // "pid (comm) state ppid pgrp session tty_nr ..."; comm may hold anything.
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() < 5 || fields.at(4).toULongLong() != wanted || wanted == 0)
            continue;
        const QString sentence = QStringLiteral("In use as the terminal of a session (PID %1, %2)")
                                     .arg(pid, commandOf(pid));
        if (fields.at(3) == pid.toLatin1()) // the session leader: the shell, the getty
            return sentence;
        if (found.isEmpty())
            found = sentence;
    }
    return found;
}

QString flockUse(const QString& device) {
    struct stat info {};
    if (!statDevice(device, &info))
        return {};
    QFile locks(QStringLiteral("/proc/locks"));
    if (locks.open(QIODevice::ReadOnly)) {
        // "1: FLOCK  ADVISORY  WRITE 1234 00:05:3 0 EOF"
        const QByteArray where =
            QByteArray::number(::major(info.st_dev), 16).rightJustified(2, '0') + ':' +
            QByteArray::number(::minor(info.st_dev), 16).rightJustified(2, '0') + ':' +
            QByteArray::number(quint64(info.st_ino));
        for (const QByteArray& line : locks.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() >= 6 && fields.at(1) == "FLOCK" && fields.at(5) == where) {
                const QString pid = QString::fromLatin1(fields.at(4));
                return QStringLiteral("In use by another program (flock held by PID %1, %2)")
                    .arg(pid, commandOf(pid));
            }
        }
    }
    return QStringLiteral("In use by another program (flock held)");
}

} // namespace tavo
