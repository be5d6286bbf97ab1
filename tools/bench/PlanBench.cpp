// mx7300-plan-bench: how long mx7300-ctl takes to read and plan a large site, before any port
// opens. Run by hand (tools/bench/plan-bench.sh); prints "name=value" lines.
//   mx7300-plan-bench [RUNS]
// Each site has four projectors by address on every line, lines of local devices, network ports
// and COM1..COM15 in turn, so the shared-line check and the COMn lookup both have work to do.
#include "Invocation.h"
#include "Plan.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace tavo::ctl;

namespace {

QByteArray siteText(int projectors) {
    QByteArray text;
    for (int i = 0; i < projectors; ++i) {
        const int line = i / 4;
        text += "[hall " + QByteArray::number(i) + "/east]\n";
        switch (line % 3) {
        case 0:
            text += "port=/dev/ttyS" + QByteArray::number(line) + "\n";
            break;
        case 1:
            text += "port=tcp://10.0." + QByteArray::number(line / 250 % 250) + "." +
                    QByteArray::number(line % 250) + ":4001\n";
            break;
        default:
            text += "port=COM" + QByteArray::number(line % 15 + 1) + "\nbaud=9600\n";
            break;
        }
        text += "address=00" + QByteArray::number(i % 4 + 1) + "\n";
    }
    return text;
}

// Median and slowest of `runs` plans of the site, in milliseconds.
bool measure(const QString& sitePath, const QString& consolePath, int projectors, int runs) {
    const ParseOutcome parsed =
        parseInvocation({QStringLiteral("mx7300-ctl"), QStringLiteral("--site"), sitePath,
                         QStringLiteral("--all"), QStringLiteral("status")});
    QList<double> ms;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        const Plan plan = planRun(parsed.invocation, ConsoleDefaults{}, consolePath);
        ms << clock.nsecsElapsed() / 1e6;
        if (plan.projectors.size() != projectors) {
            std::fprintf(stderr, "%d projectors: planned %lld (%s)\n", projectors,
                         static_cast<long long>(plan.projectors.size()), qPrintable(plan.error));
            return false;
        }
    }
    std::sort(ms.begin(), ms.end());
    std::printf("plan_%d_median_ms=%.2f\nplan_%d_max_ms=%.2f\n", projectors, ms[ms.size() / 2],
                projectors, ms.last());
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 15;
    QTemporaryDir dir;
    const QString consolePath = dir.filePath(QStringLiteral("TAVO.ini"));
    QFile console(consolePath);
    if (!dir.isValid() || !console.open(QIODevice::WriteOnly))
        return 1;
    console.write("[Ports]\nCOM2=/dev/mapped-com2\n");
    console.close();
    std::printf("plan_runs=%d\n", runs);
    for (const int projectors : {2500, 5000, 10000, 20000}) {
        const QString sitePath = dir.filePath(QStringLiteral("site-%1.ini").arg(projectors));
        QFile site(sitePath);
        if (!site.open(QIODevice::WriteOnly))
            return 1;
        const QByteArray text = siteText(projectors);
        site.write(text);
        site.close();
        std::printf("plan_%d_file_kib=%lld\n", projectors,
                    static_cast<long long>(text.size() / 1024));
        if (!measure(sitePath, consolePath, projectors, runs))
            return 1;
    }
    return 0;
}
