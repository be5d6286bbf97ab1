#pragma once

#include <QString>

// The gateway's benchmarks: mx7300-gateway as a process, a real mosquitto and simulated
// projectors on pseudo-terminals (ProjectorBank), all on loopback. Each prints "name=value"
// lines and writes its samples (microseconds) as CSV into `csvDir`; 0 on success.

struct CommandOptions {
    int samples = 300;
    int quietMs = 250; // the line quiet this long, then a random wait of up to spanMs
    int spanMs = 250;
    bool brokerNoDelay = false;
    QString tag = QStringLiteral("command"); // figures gw_TAG_*, samples gateway-TAG.csv
};

// MQTT set/power published at a random moment after the port went quiet (polled once an hour)
// until the command's first byte is readable at the projector's end. Between the commands, at
// moments drawn the same way, the floor: a message between two plain clients through the same
// broker (figures gw_TAG_floor_*, samples gateway-TAG-floor.csv).
int runCommandBench(const QString& csvDir, const CommandOptions& options);

// The projector's power changed at a random moment until the new state message reaches a
// subscriber, polled every `pollSeconds`, each reply `replyDelayMs` after its command.
int runStateBench(const QString& csvDir, int samples, int pollSeconds, int replyDelayMs);

struct ScaleOptions {
    int lines = 50;
    int perLine = 4;
    int replyDelayMs = 15;
    int ser2netEvery = 5; // every fifth line through ser2net
    int pollSeconds = 10;
    int holdSeconds = 60;
    int pjlinkSeconds = 30; // 0: no PJLink clients
    int pjlinkRate = 200;   // questions a second over all of them
    QString tag = QStringLiteral("scale");
};

// One gateway holding lines × perLine projectors: CPU and resident set over `holdSeconds`, how
// fresh every projector's state is (read over HTTP), then PJLink "%1POWR ?" answer latency from
// one connection per projector, pjlinkRate questions a second over all of them.
int runScaleBench(const QString& csvDir, const ScaleOptions& options);
