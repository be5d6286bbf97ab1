#pragma once

#include "sim/Simulator.h"

#include <QString>

namespace tavo::sim {

struct ControlReply {
    QString text; // printed on standard output; empty for nothing
    bool quit = false;
};

// One line typed on the simulator's standard input: faults, line speed, status, quit.
ControlReply runControlCommand(Simulator& sim, const QString& line);

// The list of those lines, for "help" and --help.
QString controlCommandHelp();

} // namespace tavo::sim
