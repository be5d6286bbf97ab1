#include "Invocation.h"
#include "Plan.h"
#include "Report.h"
#include "Runner.h"

#include "AnyDevicePort.h"
#include "IniSettingsStore.h"
#include "QtTimer.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>

#include <csignal>
#include <unistd.h>

using namespace tavo;
using namespace tavo::ctl;

namespace {

// The one place that chooses the serial component for a device.
std::unique_ptr<SerialPort> openPort(const QString& device) {
    return std::make_unique<AnyDevicePort>([device](int) { return device; });
}

int g_signalPipe[2] = {-1, -1};

void onSignal(int number) {
    const char byte = char(number);
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

// Ends the event loop on SIGINT, SIGTERM and SIGHUP, so the ports are closed
// (and their lock files removed) as the program unwinds.
void exitLoopOnSignals(QCoreApplication& app) {
    if (::pipe(g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(g_signalPipe[0], &byte, 1);
        QTextStream(stderr) << "mx7300-ctl: stopped by signal " << int(byte) << Qt::endl;
        app.exit(128 + byte);
    });
    for (int number : {SIGINT, SIGTERM, SIGHUP})
        std::signal(number, onSignal);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    const ParseOutcome parsed = parseInvocation(app.arguments());
    switch (parsed.kind) {
    case ParseOutcome::Kind::Help:
        out << helpText();
        return 0;
    case ParseOutcome::Kind::Version:
        out << "mx7300-ctl " << MX7300_VERSION << Qt::endl;
        return 0;
    case ParseOutcome::Kind::Usage:
        err << "mx7300-ctl: " << parsed.error << " (see mx7300-ctl --help)" << Qt::endl;
        return 2;
    case ParseOutcome::Kind::Run:
        break;
    }
    const Invocation& inv = parsed.invocation;

    const QString settingsPath = IniSettingsStore::defaultPath();
    const IniSettingsStore store(settingsPath);
    const Plan plan = planRun(inv, readConsoleDefaults(store), settingsPath);
    if (!plan.error.isEmpty()) {
        err << "mx7300-ctl: " << plan.error << Qt::endl;
        return plan.errorStatus;
    }

    Request request;
    request.commandText = inv.commandText;
    request.waitReady = inv.command == Command::WaitReady;
    request.waitSeconds = inv.waitSeconds;
    request.timeoutMs = inv.timeoutMs;

    const bool withSummary = !inv.siteFile.isEmpty();
    Runner runner(
        request, plan.projectors, &openPort, [] { return std::make_unique<QtTimer>(0); },
        [&](const QList<Outcome>& outcomes) {
            for (int i = 0; i < outcomes.size(); ++i) {
                const ProjectorEntry& projector = plan.projectors[i];
                const Outcome& outcome = outcomes[i];
                out << (inv.json ? jsonLine(projector, outcome) : humanLine(projector, outcome))
                    << '\n';
                if (outcome.status == Outcome::Status::Failed)
                    err << "mx7300-ctl: "
                        << (projector.name.isEmpty() ? projector.target : projector.name) << ": "
                        << outcome.error << '\n';
            }
            const Tally counts = tally(outcomes);
            if (withSummary)
                (inv.json ? err : out) << summaryLine(counts) << '\n';
            out.flush();
            err.flush();
            app.exit(exitStatus(counts));
        });
    exitLoopOnSignals(app);
    QTimer::singleShot(0, &app, [&runner] { runner.start(); });
    return app.exec();
}
