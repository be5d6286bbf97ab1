#pragma once

#include <QtGlobal>

#include <vector>

// PJLink clients, one persistent TCP connection per projector port (basePort, basePort + 1, …),
// asking "%1POWR ?" `rate` times a second in all, each client in turn, evenly spread.
struct PjlinkPoolResult {
    std::vector<double> latenciesUs; // from the write of the question to the whole answer
    int connected = 0;
    int unanswered = 0; // questions still open when the next was due, or at the end
    int wrongAnswers = 0;
};

PjlinkPoolResult runPjlinkPool(quint16 basePort, int connections, int seconds, int rate);
