#include "Log.h"

#include <cstdio>

namespace tavo::gateway {

Q_LOGGING_CATEGORY(lcGateway, "tavo.gateway", QtInfoMsg)
Q_LOGGING_CATEGORY(lcAudit, "tavo.gateway.audit", QtInfoMsg)
Q_LOGGING_CATEGORY(lcPorts, "tavo.gateway.ports", QtInfoMsg)
Q_LOGGING_CATEGORY(lcMqtt, "tavo.gateway.mqtt", QtInfoMsg)
Q_LOGGING_CATEGORY(lcHttp, "tavo.gateway.http", QtInfoMsg)
Q_LOGGING_CATEGORY(lcPjlink, "tavo.gateway.pjlink", QtInfoMsg)
Q_LOGGING_CATEGORY(lcShare, "tavo.gateway.share", QtInfoMsg)

namespace {

int syslogPriority(QtMsgType type) {
    switch (type) {
    case QtFatalMsg:
        return 2;
    case QtCriticalMsg:
        return 3;
    case QtWarningMsg:
        return 4;
    case QtInfoMsg:
        return 6;
    case QtDebugMsg:
        break;
    }
    return 7;
}

void writeLine(QtMsgType type, const QMessageLogContext&, const QString& text) {
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' ')); // one event, one line
    const QByteArray out = QStringLiteral("<%1>%2\n").arg(syslogPriority(type)).arg(line).toUtf8();
    std::fwrite(out.constData(), 1, size_t(out.size()), stderr);
    std::fflush(stderr);
}

} // namespace

void logLine(Priority priority, const QString& text, const QLoggingCategory& category) {
    switch (priority) {
    case Priority::Error:
        qCCritical(category).noquote() << text;
        return;
    case Priority::Warning:
        qCWarning(category).noquote() << text;
        return;
    case Priority::Info:
        qCInfo(category).noquote() << text;
        return;
    }
}

void installSyslogMessageHandler() {
    qInstallMessageHandler(&writeLine);
}

} // namespace tavo::gateway
