#pragma once

#include "sim/LineFaults.h"
#include "sim/ProjectorModel.h"
#include "sim/Simulator.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace tavo::sim {

struct SimConfig {
    SimSettings sim;
    int registerPort = 0; // 0 = do not register
    bool exitOnEof = false;
    bool quiet = false;
    LineFaults faults; // in force from the start
    Health health;
    double noiseSeconds = 0;
};

struct ParsedOptions {
    std::optional<SimConfig> config; // empty on error or for --help
    QString message;                 // the help text, or what was wrong
    bool help = false;
};

ParsedOptions parseOptions(const QStringList& arguments);

// Puts the start-up faults of the configuration into force.
void applyStartupFaults(Simulator& sim, const SimConfig& config);

} // namespace tavo::sim
