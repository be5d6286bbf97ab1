#include "StartupBench.h"

#include "ProcessProbe.h"
#include "PseudoTerminal.h"
#include "Stats.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <thread>

namespace {

struct Program {
    const char* name;
    QString path;
    QStringList arguments;
};

struct Sample {
    double firstFrameMs = 0;
    long rssKb = 0;
    double cpuMs = 0; // from exec to one second after the first frame
};

// One program started as an operator would start it, with port 1 configured and present.
class Run {
public:
    bool start(const Program& program) {
        if (!m_config.isValid() || !m_pty.isValid())
            return false;
        QSettings ini(m_config.filePath(QStringLiteral("TAVO/TAVO.ini")), QSettings::IniFormat);
        ini.setValue(QStringLiteral("StartUP/ComPort"), QStringLiteral("1"));
        ini.setValue(QStringLiteral("StartUP/BaudRate"), QStringLiteral("96"));
        ini.setValue(QStringLiteral("Ports/COM1"), m_pty.slavePath());
        ini.sync();
        const auto launched = launch(program.path, program.arguments,
                                     {QStringLiteral("TAVO_REPORT_FIRST_FRAME=1"),
                                      QStringLiteral("XDG_CONFIG_HOME=") + m_config.path()});
        if (!launched)
            return false;
        m_process = *launched;
        return true;
    }
    std::optional<double> firstFrameMs() {
        const auto ms = waitForFirstFrame(m_process, 20000);
        if (!ms)
            std::fprintf(stderr, "mx7300-bench: no first frame\n%s", qPrintable(stderrText()));
        return ms;
    }
    pid_t pid() const { return m_process.pid; }
    QString stderrText() const { return m_process.stderrText; }
    ~Run() {
        const pid_t pid = m_process.pid;
        terminate(m_process);
        removeStaleLock(pid);
    }

private:
    // A killed console leaves the port's lock file behind, and the next program to get the same
    // pseudo-terminal number would pay for taking over a stale lock (two fdatasync calls), which
    // no normal start does. Only a lock naming the killed process is removed.
    void removeStaleLock(pid_t pid) const {
        const QString name =
            QStringLiteral("LCK..") + m_pty.slavePath()
                                          .mid(int(qstrlen("/dev/")))
                                          .replace(QLatin1Char('/'), QLatin1Char('_'));
        for (const QString& dir :
             {QStringLiteral("/var/lock"), QStringLiteral("/run/lock"), QDir::tempPath()}) {
            QFile lock(QDir(dir).filePath(name));
            if (!lock.open(QIODevice::ReadOnly))
                continue;
            const bool ours = lock.readLine().trimmed().toLongLong() == pid;
            lock.close();
            if (ours)
                lock.remove();
        }
    }

    QTemporaryDir m_config;
    PseudoTerminal m_pty;
    Launched m_process;
};

std::optional<Sample> measure(const Program& program) {
    Run run;
    if (!run.start(program))
        return std::nullopt;
    const auto ms = run.firstFrameMs();
    if (!ms)
        return std::nullopt;
    std::this_thread::sleep_for(std::chrono::seconds(1));
    return Sample{*ms, residentKb(run.pid()), cpuUse(run.pid()).scheduledMs};
}

bool idle(const Program& program, int seconds) {
    Run run;
    if (!run.start(program) || !run.firstFrameMs())
        return false;
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const CpuUse before = cpuUse(run.pid());
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const CpuUse after = cpuUse(run.pid());
    const QByteArray base = QByteArray("idle_") + program.name;
    report((base + "_seconds").constData(), seconds, 0);
    report((base + "_cpu_ms").constData(), after.scheduledMs - before.scheduledMs, 3);
    report((base + "_ticks_ms").constData(), after.ticksMs - before.ticksMs, 0);
    report((base + "_switches").constData(), double(after.switches - before.switches), 0);
    return true;
}

// Returns the median time to the first frame.
double reportProgram(const char* name, const std::vector<Sample>& samples) {
    std::vector<double> ms, rss, cpu;
    for (const Sample& s : samples) {
        ms.push_back(s.firstFrameMs);
        rss.push_back(double(s.rssKb));
        cpu.push_back(s.cpuMs);
    }
    const Summary frame = summarise(ms);
    const QByteArray base(name);
    report((base + "_runs").constData(), frame.count, 0);
    report((base + "_first_frame_median_ms").constData(), frame.p50, 1);
    report((base + "_first_frame_min_ms").constData(), *std::min_element(ms.begin(), ms.end()), 1);
    report((base + "_first_frame_max_ms").constData(), frame.max, 1);
    report((base + "_rss_median_kb").constData(), summarise(rss).p50, 0);
    report((base + "_rss_max_kb").constData(), summarise(rss).max, 0);
    report((base + "_start_cpu_median_ms").constData(), summarise(cpu).p50, 1);
    return frame.p50;
}

} // namespace

int runStartupBench(const StartupOptions& options) {
    const Program programs[] = {
        {"console", options.control, {}},
        {"bare", options.bare, {}},
        {"bare_text", options.bare, {QStringLiteral("--text")}},
    };
    constexpr int kPrograms = int(std::size(programs));
    // Page cache and font cache warm, as for every start but the first after boot.
    for (const Program& program : programs) {
        if (!measure(program))
            return 1;
    }
    std::vector<Sample> samples[kPrograms];
    std::vector<QString> rows;
    for (int i = 0; i < options.runs; ++i) {
        // Rotate the order, so no program always follows the same one's exit.
        for (int k = 0; k < kPrograms; ++k) {
            const int which = (i + k) % kPrograms;
            const auto sample = measure(programs[which]);
            if (!sample)
                return 1;
            samples[which].push_back(*sample);
            rows.push_back(QStringLiteral("%1,%2,%3,%4,%5")
                               .arg(i + 1)
                               .arg(QLatin1String(programs[which].name))
                               .arg(sample->firstFrameMs, 0, 'f', 2)
                               .arg(sample->rssKb)
                               .arg(sample->cpuMs, 0, 'f', 2));
        }
    }
    double medians[kPrograms];
    for (int k = 0; k < kPrograms; ++k)
        medians[k] = reportProgram(programs[k].name, samples[k]);
    report("startup_ratio", medians[0] / medians[1], 2);
    report("startup_ratio_text", medians[0] / medians[2], 2);
    if (!options.csvPath.isEmpty()) {
        QDir().mkpath(QFileInfo(options.csvPath).path());
        writeCsv(options.csvPath, QStringLiteral("run,program,first_frame_ms,rss_kb,cpu_ms"), rows);
    }
    return idle(programs[0], options.idleSeconds) && idle(programs[1], options.idleSeconds) ? 0 : 1;
}
