#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

#include <chrono>
#include <optional>

// A program started with its standard error on a pipe, to read the first-frame marker from.
struct Launched {
    pid_t pid = -1;
    int stderrFd = -1;
    std::chrono::steady_clock::time_point startedAt;
    QString stderrText;
};

// `extraEnv`: "NAME=value" entries that override the bench's own environment.
std::optional<Launched> launch(const QString& program, const QStringList& arguments,
                               const QStringList& extraEnv);
// Milliseconds from the launch to the "first-frame <ns>" line, or nothing after `timeoutMs`.
std::optional<double> waitForFirstFrame(Launched& process, int timeoutMs);
// SIGTERM, then reaps it.
void terminate(Launched& process);

// Resident set from /proc/PID/status, in KiB.
long residentKb(pid_t pid);

struct CpuUse {
    // All threads' time on a CPU, from /proc/PID/task/*/schedstat (nanosecond resolution).
    double scheduledMs = 0;
    // utime + stime from /proc/PID/stat (clock-tick resolution).
    double ticksMs = 0;
    // Context switches of all threads: roughly the wake-ups.
    long switches = 0;
};
CpuUse cpuUse(pid_t pid);
