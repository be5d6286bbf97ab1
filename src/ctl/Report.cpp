#include "Report.h"

#include "ExchangeJson.h"

#include <QJsonDocument>

namespace tavo::ctl {

QString humanLine(const ProjectorEntry& projector, const Outcome& outcome) {
    QStringList fields;
    fields << (projector.name.isEmpty() ? QStringLiteral("-") : projector.name);
    fields << (projector.via.isEmpty()
                   ? projector.target
                   : QStringLiteral("%1 via %2").arg(projector.target, projector.via))
           << projector.address;
    if (!outcome.tried) {
        fields << outcome.error;
        return fields.join(QStringLiteral(" | "));
    }
    if (outcome.status == Outcome::Status::Failed && outcome.sent.isEmpty()) {
        fields << QStringLiteral("failed: %1").arg(outcome.error);
        return fields.join(QStringLiteral(" | "));
    }
    fields << QStringLiteral("sent %1").arg(outcome.sentTranscript.trimmed());
    fields << QStringLiteral("reply %1").arg(outcome.replyTranscript.trimmed());
    if (outcome.decoded)
        fields << *outcome.decoded;
    if (!outcome.error.isEmpty())
        fields << outcome.error;
    return fields.join(QStringLiteral(" | "));
}

QString jsonLine(const ProjectorEntry& projector, const Outcome& outcome) {
    QJsonObject object = exchangeJson(projector.name, projector.target, projector.address, outcome);
    if (!projector.via.isEmpty())
        object.insert(QStringLiteral("via"), projector.via);
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

Tally tally(const QList<Outcome>& outcomes) {
    Tally t;
    for (const Outcome& outcome : outcomes) {
        if (!outcome.tried) {
            ++t.notTried;
            continue;
        }
        switch (outcome.status) {
        case Outcome::Status::Ok:
            ++t.ok;
            break;
        case Outcome::Status::NoReply:
            ++t.noReply;
            break;
        case Outcome::Status::Failed:
        case Outcome::Status::Busy: // only the gateway refuses as busy
            ++t.failed;
            break;
        case Outcome::Status::LinkLost:
            ++t.lost;
            break;
        }
    }
    return t;
}

QString summaryLine(const Tally& t) {
    QString line =
        QStringLiteral("%1 ok, %2 no reply, %3 failed").arg(t.ok).arg(t.noReply).arg(t.failed);
    if (t.lost > 0)
        line += QStringLiteral(", %1 link lost").arg(t.lost);
    if (t.notTried > 0)
        line += QStringLiteral(", %1 not tried").arg(t.notTried);
    return line;
}

int exitStatus(const Tally& t) {
    if (t.failed > 0)
        return 3;
    if (t.lost > 0 || t.notTried > 0)
        return 4;
    if (t.noReply > 0)
        return 1;
    return 0;
}

} // namespace tavo::ctl
