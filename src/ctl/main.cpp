#include "Invocation.h"
#include "Plan.h"
#include "Report.h"
#include "Runner.h"

#include "AnyDevicePort.h"
#include "GatewayShares.h"
#include "IniSettingsStore.h"
#include "NetworkPort.h"
#include "QtTimer.h"
#include "ShutdownSignals.h"
#include "StartupStore.h"

#include <QCoreApplication>
#include <QTextStream>
#include <QTimer>

#include <csignal>

using namespace tavo;
using namespace tavo::ctl;

namespace {

constexpr int kShareTimeoutMs = 2500;

// The one place that chooses the serial component: a local or a network device, by its name.
std::unique_ptr<LinePort> makePort() {
    return std::make_unique<AnyDevicePort>(&makeLinkedNetworkPort);
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
    const std::unique_ptr<SettingsStore> store = makeStartupStore(settingsPath);
    const Plan plan = planRun(inv, readConsoleDefaults(*store), settingsPath);
    if (!plan.error.isEmpty()) {
        err << "mx7300-ctl: " << plan.error << Qt::endl;
        return plan.errorStatus;
    }

    Request request;
    request.commandText = inv.commandText;
    request.waitReady = inv.command == Command::WaitReady;
    request.waitSeconds = inv.waitSeconds;
    request.timeoutMs = inv.timeoutMs;

    // A port a running gateway on this host holds is reached through its share of that line.
    QList<ProjectorEntry> projectors = plan.projectors;
    if (!inv.noGateway) {
        const QList<GatewayShares> gateways = runningGatewayShares(gatewayRuntimeDirectories());
        for (ProjectorEntry& projector : projectors) {
            for (const GatewayShares& gateway : gateways) {
                if (const auto share = gateway.shareOf(projector.device)) {
                    projector.device = *share;
                    projector.via = QStringLiteral("gateway %1").arg(gateway.site);
                    // The reply time-out runs from our write, and the command may wait there
                    // behind one of the gateway's polls.
                    request.timeoutMs = qMax(request.timeoutMs, kShareTimeoutMs);
                    break;
                }
            }
        }
    }

    const bool withSummary = !inv.siteFile.isEmpty();
    int stoppedBy = 0; // the signal that ended the run, if one did
    Runner runner(
        request, projectors, &makePort, [] { return std::make_unique<QtTimer>(0); },
        [&](const QList<Outcome>& outcomes) {
            for (int i = 0; i < outcomes.size(); ++i) {
                const ProjectorEntry& projector = projectors[i];
                const Outcome& outcome = outcomes[i];
                out << (inv.json ? jsonLine(projector, outcome) : humanLine(projector, outcome))
                    << '\n';
                const bool told = !outcome.tried || outcome.status == Outcome::Status::Failed ||
                                  outcome.status == Outcome::Status::LinkLost;
                if (told && stoppedBy == 0)
                    err << "mx7300-ctl: "
                        << (projector.name.isEmpty() ? projector.target : projector.name) << ": "
                        << outcome.error << '\n';
            }
            const Tally counts = tally(outcomes);
            if (withSummary)
                (inv.json ? err : out) << summaryLine(counts) << '\n';
            out.flush();
            err.flush();
            app.exit(stoppedBy != 0 ? 128 + stoppedBy : exitStatus(counts));
        });
    // SIGINT, SIGTERM and SIGHUP end the run: what has ended is reported, the rest as not tried,
    // and the ports are closed (their lock files removed) as the program unwinds.
    ShutdownSignals shutdown({SIGINT, SIGTERM, kHangUpSignal}, [&](int number) {
        if (stoppedBy != 0)
            return;
        stoppedBy = number;
        QTextStream(stderr) << "mx7300-ctl: stopped by signal " << number << Qt::endl;
        runner.stop(QStringLiteral("not tried: stopped by signal %1").arg(number));
    });
    QTimer::singleShot(0, &app, [&runner] { runner.start(); });
    return app.exec();
}
