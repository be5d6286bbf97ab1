#pragma once

#include <QRandomGenerator>

#include <vector>

class BenchConsole;

// Random bytes at the 19200-baud line rate (1920 bytes a second) written to the projector's end
// for `ms`, the console's event loop running meanwhile. With `clicks`, "On" is clicked once a
// second by posting the press and release, as the window system delivers them, and the
// microseconds until its command is readable at the projector's end are recorded; what the
// console sends is read and dropped then. Returns the bytes written.
qint64 floodAtLineRate(BenchConsole& c, QRandomGenerator& random, int ms,
                       std::vector<double>* clicks);
