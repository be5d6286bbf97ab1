#include "ProcessProbe.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace {

QByteArray readProcFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The number after `key` in a /proc status file.
long statusField(const QByteArray& status, const char* key) {
    for (const QByteArray& line : status.split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(std::strlen(key))).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

} // namespace

std::optional<Launched> launch(const QString& program, const QStringList& arguments,
                               const QStringList& extraEnv) {
    // Everything the child needs is built before fork(): only async-signal-safe calls after it.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const QString entry = QString::fromLocal8Bit(*e);
        const QString name = entry.section(QLatin1Char('='), 0, 0) + QLatin1Char('=');
        bool overridden = false;
        for (const QString& extra : extraEnv)
            overridden = overridden || extra.startsWith(name);
        if (!overridden)
            env.emplace_back(*e);
    }
    for (const QString& extra : extraEnv)
        env.push_back(extra.toStdString());
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args{program.toStdString()};
    for (const QString& argument : arguments)
        args.push_back(argument.toStdString());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return std::nullopt;
    Launched process;
    process.startedAt = std::chrono::steady_clock::now();
    process.pid = ::fork();
    if (process.pid == 0) {
        ::dup2(pipeFds[1], STDERR_FILENO);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    if (process.pid < 0) {
        ::close(pipeFds[0]);
        return std::nullopt;
    }
    process.stderrFd = pipeFds[0];
    return process;
}

std::optional<double> waitForFirstFrame(Launched& process, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    QByteArray text;
    while (Clock::now() < deadline) {
        pollfd pfd{process.stderrFd, POLLIN, 0};
        if (::poll(&pfd, 1, 50) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(process.stderrFd, buffer, sizeof buffer);
        if (n <= 0)
            break; // the program ended
        text.append(buffer, int(n));
        process.stderrText = QString::fromLocal8Bit(text);
        for (const QByteArray& line : text.split('\n')) {
            if (!line.startsWith("first-frame ") || !text.contains(line + '\n'))
                continue;
            const qint64 ns = line.mid(12).toLongLong();
            const qint64 started = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                       process.startedAt.time_since_epoch())
                                       .count();
            return double(ns - started) / 1e6;
        }
    }
    return std::nullopt;
}

void terminate(Launched& process) {
    if (process.pid > 0) {
        ::kill(process.pid, SIGTERM);
        int status = 0;
        ::waitpid(process.pid, &status, 0);
        process.pid = -1;
    }
    if (process.stderrFd >= 0)
        ::close(process.stderrFd);
    process.stderrFd = -1;
}

long residentKb(pid_t pid) {
    return statusField(readProcFile(QStringLiteral("/proc/%1/status").arg(pid)), "VmRSS:");
}

CpuUse cpuUse(pid_t pid) {
    CpuUse use;
    const QByteArray stat = readProcFile(QStringLiteral("/proc/%1/stat").arg(pid));
    // Fields after the command name in parentheses: state is field 3, utime 14, stime 15.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() > 12) {
        const double tick = 1000.0 / double(::sysconf(_SC_CLK_TCK));
        use.ticksMs = double(fields[11].toLongLong() + fields[12].toLongLong()) * tick;
    }
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QByteArray sched = readProcFile(tasks.filePath(task + QStringLiteral("/schedstat")));
        use.scheduledMs += double(sched.split(' ').value(0).toLongLong()) / 1e6;
        const QByteArray status = readProcFile(tasks.filePath(task + QStringLiteral("/status")));
        use.switches += statusField(status, "voluntary_ctxt_switches:") +
                        statusField(status, "nonvoluntary_ctxt_switches:");
    }
    return use;
}
