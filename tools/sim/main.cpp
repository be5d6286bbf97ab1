#include "PseudoTerminal.h"
#include "sim/ControlCommands.h"
#include "sim/PortRegistration.h"
#include "sim/SimHost.h"
#include "sim/SimOptions.h"
#include "sim/Simulator.h"

#include "ShutdownSignals.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

using namespace tavo::sim;

namespace {

void printError(const QString& text) {
    std::fprintf(stderr, "mx7300-sim: %s\n", qPrintable(text));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const ParsedOptions options = parseOptions(QCoreApplication::arguments());
    if (options.help) {
        printLine(options.message);
        return 0;
    }
    if (!options.config) {
        printError(options.message + QStringLiteral(" (see --help)"));
        return 2;
    }
    const SimConfig& config = *options.config;

    // Before anything is registered: a signal from now on still removes the entry.
    tavo::ShutdownSignals shutdown({SIGINT, SIGTERM, SIGHUP},
                                   [](int) { QCoreApplication::quit(); });

    PseudoTerminal line(config.sim.lineBaud);
    if (!line.isValid()) {
        printError(line.errorString());
        return 1;
    }
    QString error;
    // Registered before the path is printed, so whoever reads the path finds the entry too.
    PortRegistration registration(consoleSettingsFile());
    if (config.registerPort > 0) {
        switch (registration.add(config.registerPort, line.slavePath(), &error)) {
        case PortRegistration::Outcome::Registered:
            break;
        case PortRegistration::Outcome::HeldByAnother:
            printError(error);
            return 2;
        case PortRegistration::Outcome::Failed:
            printError(error);
            return 1;
        }
    }
    printLine(line.slavePath());

    SteadyClock clock;
    Simulator sim(clock, config.sim);
    if (!config.quiet)
        sim.setLog([](const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); });
    applyStartupFaults(sim, config);

    SimHost host(sim, line, config.exitOnEof);
    QObject::connect(&host, &SimHost::quitRequested, &app, &QCoreApplication::quit);

    const int status = QCoreApplication::exec();
    registration.remove();
    return status;
}
