#include "TrafficRow.h"

#include "link/Transcript.h"

#include <QDateTime>

namespace tavo {
namespace {

// Names and words come from the system (device paths, error texts): keep
// them on one line and out of the field separator.
QString oneLine(const QString& text) {
    QString out = text;
    for (QChar& c : out) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char(' ');
    }
    return out;
}

} // namespace

QString kindName(TrafficKind kind) {
    switch (kind) {
    case TrafficKind::Tx:
        return QStringLiteral("TX");
    case TrafficKind::Rx:
        return QStringLiteral("RX");
    case TrafficKind::TimeOut:
        return QStringLiteral("time-out");
    case TrafficKind::NotSent:
        return QStringLiteral("not sent");
    case TrafficKind::Opened:
        return QStringLiteral("opened");
    case TrafficKind::OpenFailed:
        return QStringLiteral("open failed");
    case TrafficKind::Closed:
        return QStringLiteral("closed");
    case TrafficKind::Lost:
        return QStringLiteral("lost");
    }
    return QString();
}

QString hexText(const TrafficRow& row) {
    static const char digits[] = "0123456789ABCDEF";
    QString out;
    out.reserve(row.bytes.size() * 3 + 24);
    for (const char c : row.bytes) {
        const auto code = static_cast<unsigned char>(c);
        if (!out.isEmpty())
            out += QLatin1Char(' ');
        out += QLatin1Char(digits[code >> 4]);
        out += QLatin1Char(digits[code & 15]);
    }
    if (row.moreBytes > 0)
        out += QStringLiteral(" +%1 bytes").arg(row.moreBytes);
    return out;
}

QString renderingText(const TrafficRow& row) {
    if (row.kind == TrafficKind::TimeOut)
        return QStringLiteral(" X X X X ");
    if (row.bytes.isEmpty())
        return QString();
    return renderTranscript(row.bytes);
}

QString isoLocalTime(qint64 msecsSinceEpoch) {
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch);
    const int offset = local.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) +
           QStringLiteral("%1%2:%3")
               .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QByteArray fileLine(const TrafficRow& row) {
    const QChar tab(QLatin1Char('\t'));
    const QString line = isoLocalTime(row.time) + tab + kindName(row.kind) + tab +
                         oneLine(row.port) + tab + QString::fromLatin1(row.address) + tab +
                         hexText(row) + tab + renderingText(row) + tab + oneLine(row.detail);
    return line.toUtf8();
}

} // namespace tavo
