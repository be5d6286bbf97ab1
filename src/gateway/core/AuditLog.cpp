#include "AuditLog.h"

#include "Exchange.h"

namespace tavo::gateway {
namespace {

constexpr int kMaxShown = 256; // bytes of a payload kept in a line

// Printable as it came; control bytes and a cut tail shown, so one request stays one line.
QString shown(const QByteArray& bytes) {
    QString out;
    const QString text = QString::fromUtf8(bytes.left(kMaxShown));
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    if (bytes.size() > kMaxShown)
        out += QStringLiteral("…(%1 bytes)").arg(bytes.size());
    return out;
}

} // namespace

QJsonObject AuditRecord::toJson() const {
    return QJsonObject{
        {QStringLiteral("time"), time.toString(Qt::ISODateWithMs)},
        {QStringLiteral("front"), front},
        {QStringLiteral("client"), client},
        {QStringLiteral("payload"), payload},
        {QStringLiteral("projector"), projector},
        {QStringLiteral("command"), command},
        {QStringLiteral("result"), result},
        {QStringLiteral("detail"), detail},
    };
}

QString auditResult(const Exchange& exchange) {
    switch (exchange.status) {
    case Exchange::Status::Ok:
        return exchange.reply.contains('\x06') ? QStringLiteral("acknowledged")
                                               : QStringLiteral("reply");
    case Exchange::Status::NoReply:
        return QStringLiteral("timed-out");
    case Exchange::Status::LinkLost:
        return QStringLiteral("link-lost");
    case Exchange::Status::Failed:
    case Exchange::Status::Busy:
        break;
    }
    return QStringLiteral("refused");
}

AuditLog::AuditLog(Clock clock, WallClock wallClock)
    : m_clock(std::move(clock)), m_wallClock(std::move(wallClock)) {}

void AuditLog::addSink(Sink sink) {
    m_sinks.push_back(std::move(sink));
}

void AuditLog::outcome(const AuditOrigin& origin, const QString& projector,
                       const QByteArray& command, const Exchange& exchange) {
    const QString result = auditResult(exchange);
    QString detail = exchange.error;
    if (exchange.status == Exchange::Status::Ok)
        detail = exchange.decoded ? *exchange.decoded : exchange.replyTranscript.trimmed();
    emitRecord(record(origin, projector, shown(command), result, detail));
}

void AuditLog::refused(const AuditOrigin& origin, const QString& projector, const QString& command,
                       const QString& why) {
    limited(record(origin, projector, command, QStringLiteral("refused"), why));
}

void AuditLog::denied(const AuditOrigin& origin, const QString& projector, const QString& result,
                      const QString& why) {
    limited(record(origin, projector, QString(), result, why));
}

AuditRecord AuditLog::record(const AuditOrigin& origin, const QString& projector,
                             const QString& command, const QString& result,
                             const QString& detail) const {
    AuditRecord r;
    r.time = m_wallClock().toUTC();
    r.front = origin.front;
    r.client = shown(origin.client.toUtf8());
    r.payload = shown(origin.payload);
    r.projector = projector;
    r.command = command;
    r.result = result;
    r.detail = detail;
    return r;
}

void AuditLog::limited(AuditRecord r) {
    const qint64 now = m_clock();
    Window& window = m_windows[r.front];
    if (window.lines == 0 || now - window.start >= kWindowMs) {
        if (window.left > 0) {
            AuditRecord summary = r;
            summary.client.clear();
            summary.payload.clear();
            summary.projector.clear();
            summary.command.clear();
            summary.result = QStringLiteral("suppressed");
            summary.detail = QStringLiteral("%1 refusals left out of the log").arg(window.left);
            emitRecord(summary);
        }
        window = Window{now, 0, 0};
    }
    if (window.lines >= kBurst) {
        ++window.left;
        return;
    }
    ++window.lines;
    emitRecord(r);
}

void AuditLog::emitRecord(const AuditRecord& r) const {
    for (const Sink& sink : m_sinks)
        sink(r);
}

} // namespace tavo::gateway
