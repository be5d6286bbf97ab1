#pragma once

#include <QLoggingCategory>
#include <QString>

namespace tavo::gateway {

// The gateway's log by part, so QT_LOGGING_RULES can quiet one ("tavo.gateway.audit.info=false")
// without touching the others. Debug messages are off unless a rule turns them on.
Q_DECLARE_LOGGING_CATEGORY(lcGateway) // tavo.gateway: start, stop, the site, ports and fronts
Q_DECLARE_LOGGING_CATEGORY(lcAudit)   // tavo.gateway.audit: every write asked for, on stderr
Q_DECLARE_LOGGING_CATEGORY(lcPorts)   // tavo.gateway.ports: lines that fail, projectors on/offline
Q_DECLARE_LOGGING_CATEGORY(lcMqtt)    // tavo.gateway.mqtt: the broker connection
Q_DECLARE_LOGGING_CATEGORY(lcHttp)    // tavo.gateway.http: the HTTP front
Q_DECLARE_LOGGING_CATEGORY(lcPjlink)  // tavo.gateway.pjlink: the PJLink ports
Q_DECLARE_LOGGING_CATEGORY(lcShare)   // tavo.gateway.share: the lines lent to raw clients

// One event through `category` at the priority's level; with the handler below installed, one
// line on standard error with the syslog priority prefix journald reads ("<3>" error, "<4>"
// warning, "<6>" info), so a service's log keeps its levels.
enum class Priority { Error = 3, Warning = 4, Info = 6 };
void logLine(Priority priority, const QString& text,
             const QLoggingCategory& category = lcGateway());

// The one message handler of the program: every message, ours and Qt's own, becomes one line on
// standard error behind its priority ("<2>" fatal, "<3>" critical, "<4>" warning, "<6>" info,
// "<7>" debug).
void installSyslogMessageHandler();

} // namespace tavo::gateway
