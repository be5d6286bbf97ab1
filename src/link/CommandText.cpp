#include "CommandText.h"

namespace tavo {

std::optional<ControlByte> findControlByte(const QByteArray& command) {
    for (int i = 0; i < command.size(); ++i) {
        const auto byte = static_cast<quint8>(command.at(i));
        if (byte < 0x20 || (byte >= 0x7F && byte <= 0x9F))
            return ControlByte{i + 1, byte};
    }
    return std::nullopt;
}

QString describeControlByte(const ControlByte& found) {
    static const char* const kNames[0x20] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                             "BS",  "TAB", "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                             "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                             "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
    static const char* const kC1Names[0x20] = {
        "PAD", "HOP", "BPH", "NBH", "IND", "NEL", "SSA", "ESA", "HTS", "HTJ", "VTS",
        "PLD", "PLU", "RI",  "SS2", "SS3", "DCS", "PU1", "PU2", "STS", "CCH", "MW",
        "SPA", "EPA", "SOS", "SGC", "SCI", "CSI", "ST",  "OSC", "PM",  "APC"};
    const QString name = found.byte < 0x20    ? QString::fromLatin1(kNames[found.byte])
                         : found.byte >= 0x80 ? QString::fromLatin1(kC1Names[found.byte - 0x80])
                                              : QStringLiteral("DEL");
    const QString hex =
        QString::number(found.byte, 16).toUpper().rightJustified(2, QLatin1Char('0'));
    return QStringLiteral("%1 (0x%2) at position %3").arg(name, hex).arg(found.position);
}

std::optional<QByteArray> commandTextBytes(const QString& text, QString* why) {
    for (const QChar c : text) {
        if (c.unicode() > 0xFF) {
            *why = QStringLiteral("the command has characters outside Latin-1");
            return std::nullopt;
        }
    }
    const QByteArray bytes = text.toLatin1();
    if (const auto control = findControlByte(bytes)) {
        *why = QStringLiteral("the command holds %1").arg(describeControlByte(*control));
        return std::nullopt;
    }
    return bytes;
}

QByteArray frameCommand(const QByteArray& addressPrefix, const QByteArray& command) {
    return addressPrefix + command + '\r';
}

int appendWithin(QByteArray& buffer, const QByteArray& arrived, int limit) {
    const int taken = qMax(0, qMin(limit - int(buffer.size()), int(arrived.size())));
    buffer.append(arrived.constData(), taken);
    return taken;
}

bool replyComplete(const QByteArray& buffer) {
    return buffer.contains('\r') || buffer.contains('\x06');
}

} // namespace tavo
