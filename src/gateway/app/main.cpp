#include "GatewayOptions.h"
#include "GatewayService.h"
#include "Log.h"
#include "Startup.h"

#include "EpollEventDispatcher.h"

#include "ShutdownSignals.h"

#include <QCoreApplication>
#include <QTextStream>

#include <csignal>
#include <memory>

using namespace tavo;
using namespace tavo::gateway;

int main(int argc, char* argv[]) {
    // Caught before anything else: a stop asked for while the gateway starts waits until its
    // event loop runs, and is then the same clean stop as later.
    ShutdownSignals shutdown({SIGINT, SIGTERM, SIGHUP, SIGUSR1});
    // The thread's loop on epoll, so an exchange costs the same however many sockets and ports
    // the site holds; TAVO_EVENT_DISPATCHER=qt keeps Qt's own.
    if (qEnvironmentVariable("TAVO_EVENT_DISPATCHER") != QLatin1String("qt")) {
        auto dispatcher = std::make_unique<EpollEventDispatcher>();
        if (dispatcher->isValid())
            QCoreApplication::setEventDispatcher(dispatcher.release());
    }
    QCoreApplication app(argc, argv);
    installSyslogMessageHandler();
    QTextStream out(stdout);

    const GatewayParse parsed = parseGatewayOptions(app.arguments());
    switch (parsed.kind) {
    case GatewayParse::Kind::Help:
        out << gatewayHelpText();
        return 0;
    case GatewayParse::Kind::Version:
        out << "mx7300-gateway " << MX7300_VERSION << Qt::endl;
        return 0;
    case GatewayParse::Kind::Usage:
        logLine(Priority::Error,
                QStringLiteral("mx7300-gateway: %1 (see mx7300-gateway --help)").arg(parsed.error));
        return 2;
    case GatewayParse::Kind::Run:
        break;
    }
    GatewayOptions o = parsed.options;
    if (o.stateDir.isEmpty()) // systemd's StateDirectory=; the first when it names several
        o.stateDir = qEnvironmentVariable("STATE_DIRECTORY").section(QLatin1Char(':'), 0, 0);
    QString error;
    if (!resolveFileOptions(&o, qEnvironmentVariable("CREDENTIALS_DIRECTORY"), &error)) {
        logLine(Priority::Error, QStringLiteral("mx7300-gateway: %1").arg(error));
        return 2;
    }
    // Every check that can refuse the start, before a port is taken or the broker is told.
    std::optional<Startup> startup = prepareStartup(o, &error);
    if (!startup) {
        logLine(Priority::Error, QStringLiteral("mx7300-gateway: %1").arg(error));
        return 2;
    }
    if (o.check) {
        for (const QString& warning : std::as_const(startup->warnings))
            logLine(Priority::Warning, warning);
        const SiteConfig& site = startup->site;
        out << QStringLiteral("%1: site %2, %3 projectors on %4 ports\n")
                   .arg(o.siteFile, site.name)
                   .arg(site.projectors.size())
                   .arg(portCount(site));
        return 0;
    }

    GatewayService service(o, std::move(*startup));
    if (const int status = service.start(); status != 0)
        return status;
    shutdown.setHandler([&service](int number) {
        if (number == SIGHUP)
            service.reload();
        else if (number == SIGUSR1)
            service.reopenAuditFile();
        else
            service.stop(number);
    });
    return app.exec();
}
