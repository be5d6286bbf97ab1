#pragma once

#include <QString>

// The traffic record's costs: click-to-wire and reply-to-screen with and without it (interleaved,
// one run), a line-noise flood with the Traffic Log window open (resident set, clicks reaching
// the line, log file growth against the bytes received; TAVO_FLOOD_SECONDS, default 60), and
// opening the window on a full ring of rows.
int runTrafficBench(const QString& csvDir, int samples);
