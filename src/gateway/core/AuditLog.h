#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QString>

#include <functional>
#include <vector>

namespace tavo {
struct Exchange;
}

namespace tavo::gateway {

// Who asked: the front ("mqtt", "http", "page", "pjlink"; a new front names itself) and the
// client as that front knows it (an HTTP or PJLink peer "ADDR:PORT", an MQTT topic), with what
// it sent (an MQTT payload, an HTTP method and path with its body, a PJLink line).
struct AuditOrigin {
    QString front;
    QString client;
    QByteArray payload;
};

// One line of the audit log.
struct AuditRecord {
    QDateTime time; // UTC
    QString front;
    QString client;
    QString payload;   // as received, control bytes escaped, cut to a few hundred bytes
    QString projector; // empty when the request named none the site has
    QString command;   // the projector's command text, or what was asked for
    // acknowledged, reply, timed-out, link-lost, refused, wrong-token, digest-failed, suppressed
    QString result;
    QString detail; // the reply's words, the reason, or how many lines were left out

    // {"time":…,"front":…,"client":…,"payload":…,"projector":…,"command":…,"result":…,
    //  "detail":…}
    QJsonObject toJson() const;
};

// Every command a front carries out, at its outcome, and every request a front turns away,
// handed to the sinks (the service's log, the audit file). Refusals and failed logins are
// limited per front (a burst, then one line saying how many were left out) so that a client
// flooding bad requests cannot fill the journal; commands that went to a projector are never
// left out, their rate is the projector line's.
class AuditLog {
public:
    using Sink = std::function<void(const AuditRecord&)>;
    using Clock = std::function<qint64()>; // milliseconds, steady
    using WallClock = std::function<QDateTime()>;

    static constexpr int kBurst = 20;          // refusals per front and window
    static constexpr qint64 kWindowMs = 60000; // then one "suppressed" line, if any were

    AuditLog(Clock clock, WallClock wallClock);

    void addSink(Sink sink);

    // A command that was queued for a projector, once it ended.
    void outcome(const AuditOrigin& origin, const QString& projector, const QByteArray& command,
                 const Exchange& exchange);
    // Turned away before anything was sent: a payload the front does not take, a projector the
    // site does not have, a read-only front.
    void refused(const AuditOrigin& origin, const QString& projector, const QString& command,
                 const QString& why);
    // A wrong or missing HTTP token, a failed PJLink digest.
    void denied(const AuditOrigin& origin, const QString& projector, const QString& result,
                const QString& why);

private:
    struct Window {
        qint64 start = 0;
        int lines = 0;
        int left = 0; // left out since start
    };
    AuditRecord record(const AuditOrigin& origin, const QString& projector, const QString& command,
                       const QString& result, const QString& detail) const;
    void limited(AuditRecord record);
    void emitRecord(const AuditRecord& record) const;

    Clock m_clock;
    WallClock m_wallClock;
    std::vector<Sink> m_sinks;
    QHash<QString, Window> m_windows; // by front
};

// The result word for how a command ended (acknowledged, reply, timed-out, link-lost, refused).
QString auditResult(const Exchange& exchange);

} // namespace tavo::gateway
