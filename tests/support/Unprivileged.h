#pragma once

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>

#include <filesystem>
#include <functional>
#include <grp.h>
#include <pwd.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tavo::test {

// Root is not held back by file modes: cases about unreadable or read-only files run as this
// ordinary account instead when the tests run as root.
struct Account {
    uid_t uid = 0;
    gid_t gid = 0;
};

inline bool runningAsRoot() {
    return ::geteuid() == 0;
}

// "nobody", or false when the machine has no such user.
inline bool nobodyAccount(Account* account) {
    const passwd* user = ::getpwnam("nobody");
    if (!user)
        return false;
    *account = {user->pw_uid, user->pw_gid};
    return true;
}

// For a child process only: drops every group, then the group, then the user.
inline bool becomeAccount(const Account& account) {
    return ::setgroups(0, nullptr) == 0 && ::setgid(account.gid) == 0 && ::setuid(account.uid) == 0;
}

// `top` and everything under it to `account`, so that a child running as it meets the modes the
// case set.
inline bool giveTree(const QString& top, const Account& account) {
    std::error_code error;
    const std::filesystem::path root(QFile::encodeName(top).toStdString());
    bool ok = ::chown(root.c_str(), account.uid, account.gid) == 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root, error))
        ok = ok && ::lchown(entry.path().c_str(), account.uid, account.gid) == 0;
    return ok && !error;
}

// Runs `work` in a forked child that has become `account` and gives back what it returned.
inline QByteArray runAs(const Account& account, const std::function<QByteArray()>& work) {
    int pipe[2];
    if (::pipe(pipe) != 0)
        return "pipe failed";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe[0]);
        const QByteArray out = becomeAccount(account) ? work() : "could not drop privileges";
        const ssize_t written = ::write(pipe[1], out.constData(), size_t(out.size()));
        ::_exit(written == out.size() ? 0 : 1);
    }
    ::close(pipe[1]);
    QByteArray result;
    char buffer[512];
    ssize_t got;
    while ((got = ::read(pipe[0], buffer, sizeof buffer)) > 0)
        result.append(buffer, got);
    ::close(pipe[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return result;
}

// `account` may not be able to reach a program inside the checkout (a home folder of mode 0700,
// say). Copies `program` into `folder`, opened to everyone, and gives the copy's path; empty, with
// the reason in `why`, when even the copy cannot be executed as `account` (a temporary folder
// inside a private one).
inline QString reachableCopy(const QString& program, const QString& folder, const Account& account,
                             QString* why) {
    const QString copy = folder + QStringLiteral("/") + QFileInfo(program).fileName();
    if (!QFile::copy(program, copy)) {
        *why = QStringLiteral("could not copy %1 to %2").arg(program, folder);
        return {};
    }
    const auto everyone = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                          QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    QFile::setPermissions(folder, everyone);
    QFile::setPermissions(copy, everyone);
    const QByteArray path = QFile::encodeName(copy);
    const QByteArray reached = runAs(account, [&path] {
        return QByteArray(::access(path.constData(), X_OK) == 0 ? "yes" : "no");
    });
    if (reached != "yes") {
        *why = QStringLiteral("%1 cannot be reached by an unprivileged user (is the temporary "
                              "folder inside a private one?)")
                   .arg(copy);
        return {};
    }
    return copy;
}

// A program started by `process` runs as `account`; one that cannot drop privileges ends at once
// with status 126 before it runs.
inline void setRunAs(QProcess& process, const Account& account) {
    process.setChildProcessModifier([account] {
        if (!becomeAccount(account))
            ::_exit(126);
    });
}

} // namespace tavo::test
