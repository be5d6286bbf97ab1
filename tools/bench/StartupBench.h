#pragma once

#include <QString>

struct StartupOptions {
    QString control; // the console's executable
    QString bare;    // the empty Qt window it is compared with
    int runs = 15;   // measured launches of each, after one unrecorded launch of each
    int idleSeconds = 10;
    QString csvPath;
};

// Launches the console, the empty window and the empty window with one line of text in turn
// (TAVO_REPORT_FIRST_FRAME=1, a throw-away settings directory, the console's port 1 on a
// pseudo-terminal) and measures exec to first frame, and the resident set and CPU used one second
// later; then the CPU the console and the empty window use while idle. Figures on standard output.
// Returns 0 on success.
int runStartupBench(const StartupOptions& options);
