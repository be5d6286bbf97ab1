#include "Report.h"

namespace tavo::ctl {

QString humanLine(const ProjectorEntry& projector, const Outcome& outcome) {
    QStringList fields;
    fields << (projector.name.isEmpty() ? QStringLiteral("-") : projector.name);
    fields << projector.target << projector.address;
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

QString jsonString(const QString& text) {
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        const ushort code = c.unicode();
        if (code == '"' || code == '\\') {
            out += QLatin1Char('\\');
            out += c;
        } else if (code >= 0x20 && code < 0x7F) {
            out += c;
        } else {
            out += QStringLiteral("\\u%1").arg(code, 4, 16, QLatin1Char('0'));
        }
    }
    out += QLatin1Char('"');
    return out;
}

namespace {
QString jsonOrNull(const std::optional<QString>& text) {
    return text ? jsonString(*text) : QStringLiteral("null");
}
} // namespace

QString jsonLine(const ProjectorEntry& projector, const Outcome& outcome) {
    const auto optionalText = [](const QString& text) {
        return text.isEmpty() ? std::optional<QString>() : std::optional<QString>(text);
    };
    QStringList members;
    members << QStringLiteral("\"name\":%1").arg(jsonOrNull(optionalText(projector.name)));
    members << QStringLiteral("\"target\":%1").arg(jsonString(projector.target));
    members << QStringLiteral("\"address\":%1").arg(jsonString(projector.address));
    members << QStringLiteral("\"sent\":%1").arg(jsonString(QString::fromLatin1(outcome.sent)));
    members << QStringLiteral("\"reply\":%1").arg(jsonString(QString::fromLatin1(outcome.reply)));
    members << QStringLiteral("\"decoded\":%1").arg(jsonOrNull(outcome.decoded));
    members << QStringLiteral("\"ok\":%1")
                   .arg(outcome.status == Outcome::Status::Ok ? QStringLiteral("true")
                                                              : QStringLiteral("false"));
    members << QStringLiteral("\"error\":%1").arg(jsonOrNull(optionalText(outcome.error)));
    return QLatin1Char('{') + members.join(QLatin1Char(',')) + QLatin1Char('}');
}

Tally tally(const QList<Outcome>& outcomes) {
    Tally t;
    for (const Outcome& outcome : outcomes) {
        switch (outcome.status) {
        case Outcome::Status::Ok:
            ++t.ok;
            break;
        case Outcome::Status::NoReply:
            ++t.noReply;
            break;
        case Outcome::Status::Failed:
            ++t.failed;
            break;
        }
    }
    return t;
}

QString summaryLine(const Tally& t) {
    return QStringLiteral("%1 ok, %2 no reply, %3 failed").arg(t.ok).arg(t.noReply).arg(t.failed);
}

int exitStatus(const Tally& t) {
    if (t.failed > 0)
        return 3;
    if (t.noReply > 0)
        return 1;
    return 0;
}

} // namespace tavo::ctl
