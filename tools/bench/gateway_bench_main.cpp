// mx7300-gateway-bench: the gateway's speed and scale, measured by hand
// (tools/bench/gateway-bench.sh runs them and writes its section of docs/benchmarks.md). Each
// mode prints "name=value" lines.
//   mx7300-gateway-bench command CSVDIR [SAMPLES [QUIET_MS SPAN_MS TAG [nodelay]]]
//   mx7300-gateway-bench state CSVDIR [SAMPLES [POLL_S [REPLY_DELAY_MS]]]
//   mx7300-gateway-bench scale CSVDIR TAG LINES PER_LINE POLL_S HOLD_S PJLINK_S REPLY_DELAY_MS
//       SER2NET_EVERY [PJLINK_RATE]
#include "GatewayBench.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    auto number = [&](int i, int otherwise) { return argc > i ? std::atoi(argv[i]) : otherwise; };
    const char* mode = argc > 1 ? argv[1] : "";
    const QString csvDir = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (std::strcmp(mode, "command") == 0 && argc >= 3) {
        CommandOptions o;
        o.samples = number(3, o.samples);
        o.quietMs = number(4, o.quietMs);
        o.spanMs = std::max(1, number(5, o.spanMs));
        if (argc > 6)
            o.tag = QString::fromLocal8Bit(argv[6]);
        o.brokerNoDelay = argc > 7 && std::strcmp(argv[7], "nodelay") == 0;
        return runCommandBench(csvDir, o);
    }
    if (std::strcmp(mode, "state") == 0 && argc >= 3)
        return runStateBench(csvDir, number(3, 100), number(4, 1), number(5, 0));
    if (std::strcmp(mode, "scale") == 0 && argc >= 11) {
        ScaleOptions o;
        o.tag = QString::fromLocal8Bit(argv[3]);
        o.lines = number(4, o.lines);
        o.perLine = number(5, o.perLine);
        o.pollSeconds = number(6, o.pollSeconds);
        o.holdSeconds = number(7, o.holdSeconds);
        o.pjlinkSeconds = number(8, o.pjlinkSeconds);
        o.replyDelayMs = number(9, o.replyDelayMs);
        o.ser2netEvery = number(10, o.ser2netEvery);
        o.pjlinkRate = number(11, o.lines * o.perLine);
        return runScaleBench(csvDir, o);
    }
    std::fprintf(
        stderr,
        "usage: mx7300-gateway-bench command CSVDIR [SAMPLES [QUIET_MS SPAN_MS TAG [nodelay]]]\n"
        "       mx7300-gateway-bench state CSVDIR [SAMPLES [POLL_S [REPLY_DELAY_MS]]]\n"
        "       mx7300-gateway-bench scale CSVDIR TAG LINES PER_LINE POLL_S HOLD_S "
        "PJLINK_S REPLY_DELAY_MS SER2NET_EVERY [PJLINK_RATE]\n");
    return 2;
}
