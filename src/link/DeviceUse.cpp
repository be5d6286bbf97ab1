#include "DeviceUse.h"

#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

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

struct ProcessTerminal {
    quint64 ttyNr = 0;
    bool sessionLeader = false;
};

// From /proc/PID/stat: "pid (comm) state ppid pgrp session tty_nr ...", where comm may hold
// anything, spaces and parentheses included, but is at most 15 bytes long.
std::optional<ProcessTerminal> terminalOf(const char* pid) {
    char path[sizeof "/proc//stat" + 256]; // a directory entry's name is at most 255 bytes
    std::snprintf(path, sizeof path, "/proc/%s/stat", pid);
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    char text[512];
    const ssize_t length = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (length <= 0)
        return std::nullopt;
    text[length] = '\0';
    const char* afterComm = std::strrchr(text, ')');
    char state = 0;
    long long ppid = 0, pgrp = 0, session = 0;
    unsigned long long ttyNr = 0;
    if (!afterComm || std::sscanf(afterComm + 1, " %c %lld %lld %lld %llu", &state, &ppid, &pgrp,
                                  &session, &ttyNr) != 5)
        return std::nullopt;
    return ProcessTerminal{ttyNr, session == std::atoll(pid)};
}

} // namespace

QString terminalUse(const QString& device) {
    struct stat info {};
    if (!statDevice(device, &info))
        return {};
    if (info.st_rdev == ::makedev(5, 0))
        return QStringLiteral("%1 is the terminal of this program's own session").arg(device);
    const quint64 wanted = encodedDevice(info.st_rdev);
    if (wanted == 0)
        return {};
    // Every process is looked at before the port opens: plain system calls keep that short on a
    // desktop with hundreds of them.
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return {};
    QString found;
    while (const dirent* entry = ::readdir(proc)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9')
            continue;
        const std::optional<ProcessTerminal> terminal = terminalOf(entry->d_name);
        if (!terminal || terminal->ttyNr != wanted)
            continue;
        const QString pid = QString::fromLatin1(entry->d_name);
        const QString sentence = QStringLiteral("In use as the terminal of a session (PID %1, %2)")
                                     .arg(pid, commandOf(pid));
        if (terminal->sessionLeader) { // the shell, the getty
            found = sentence;
            break;
        }
        if (found.isEmpty())
            found = sentence;
    }
    ::closedir(proc);
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
