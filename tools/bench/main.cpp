// mx7300-bench: measurements of the console run by hand (tools/bench/run-benchmarks.sh runs them
// all and writes docs/benchmarks.md). Each mode prints "name=value" lines.
//   mx7300-bench latency CSVDIR [SAMPLES]            click-to-wire and reply-to-screen
//   mx7300-bench network CSVDIR [SAMPLES]            the same through ser2net on loopback
//   mx7300-bench share CSVDIR GATEWAY [SAMPLES]      through a gateway's share, beside ser2net
//   mx7300-bench repeat CSVFILE PNGFILE [SECONDS]     press-and-hold cadence
//   mx7300-bench startup CONSOLE BARE CSVFILE [RUNS]  start-up, memory and idle CPU
//   mx7300-bench traffic CSVDIR [SAMPLES]            what the traffic record costs
//   mx7300-bench noise                               line noise and network port faults
#include "LatencyBench.h"
#include "NoiseBench.h"
#include "RepeatBench.h"
#include "StartupBench.h"
#include "TrafficBench.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

int usage() {
    std::fprintf(stderr, "usage: mx7300-bench latency CSVDIR [SAMPLES]\n"
                         "       mx7300-bench network CSVDIR [SAMPLES]\n"
                         "       mx7300-bench share CSVDIR GATEWAY [SAMPLES]\n"
                         "       mx7300-bench repeat CSVFILE PNGFILE [SECONDS]\n"
                         "       mx7300-bench startup CONSOLE BARE CSVFILE [RUNS]\n"
                         "       mx7300-bench traffic CSVDIR [SAMPLES]\n"
                         "       mx7300-bench noise\n");
    return 2;
}

QString arg(char* argv[], int i) {
    return QString::fromLocal8Bit(argv[i]);
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2)
        return usage();
    const char* mode = argv[1];
    if (std::strcmp(mode, "startup") == 0) {
        // Only child processes are measured here: no window of our own.
        QCoreApplication app(argc, argv);
        if (argc < 5)
            return usage();
        StartupOptions options;
        options.control = arg(argv, 2);
        options.bare = arg(argv, 3);
        options.csvPath = arg(argv, 4);
        if (argc > 5)
            options.runs = arg(argv, 5).toInt();
        return runStartupBench(options);
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TAVO"));
    if (std::strcmp(mode, "latency") == 0 && argc >= 3)
        return runLatencyBench(arg(argv, 2), argc > 3 ? arg(argv, 3).toInt() : 1000, 50);
    if (std::strcmp(mode, "network") == 0 && argc >= 3)
        return runNetworkLatencyBench(arg(argv, 2), argc > 3 ? arg(argv, 3).toInt() : 1000, 50);
    if (std::strcmp(mode, "share") == 0 && argc >= 4)
        return runShareLatencyBench(arg(argv, 2), arg(argv, 3),
                                    argc > 4 ? arg(argv, 4).toInt() : 1000, 50);
    if (std::strcmp(mode, "repeat") == 0 && argc >= 4)
        return runRepeatBench(arg(argv, 2), arg(argv, 3), argc > 4 ? arg(argv, 4).toInt() : 10);
    if (std::strcmp(mode, "traffic") == 0 && argc >= 3)
        return runTrafficBench(arg(argv, 2), argc > 3 ? arg(argv, 3).toInt() : 1000);
    if (std::strcmp(mode, "noise") == 0)
        return runNoiseBench();
    return usage();
}
