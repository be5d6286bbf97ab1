#include "ReplyDecoder.h"

#include "StatusTables.h"

namespace tavo {
namespace {

bool isCommand(const QByteArray& current, const char* command) {
    return current.size() == static_cast<int>(qstrlen(command)) + 1 &&
           current.startsWith(command) && current.endsWith('\r');
}

QString lampHours(const QString& transcript) {
    // Leading blanks and zeros become spaces; from the first significant
    // character on, the transcript is copied as it stands.
    QString out;
    bool significant = false;
    const int last = transcript.size() - 5;
    for (int i = 0; i < last; ++i) {
        const QChar c = transcript.at(i);
        if (!significant && (c == QLatin1Char(' ') || c == QLatin1Char('0'))) {
            out += QLatin1Char(' ');
        } else {
            out += c;
            significant = true;
        }
    }
    return out + QLatin1String(" Hour Use");
}

QString temperatures(const QString& t) {
    const QLatin1String unit(" deg C ");
    return t.mid(0, 10) + unit + t.mid(13, 9) + unit + t.mid(25, 9) + unit;
}

std::optional<QString> lookUp(const StatusTable& table, const QString& transcript) {
    const QString probe = transcript.left(table.keyLength);
    for (int i = 0; i < table.wordCount; ++i) {
        if (probe == QLatin1String(table.words[i].key))
            return QString::fromLatin1(table.words[i].text);
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> decodeReply(const QByteArray& command, const QString& transcript,
                                   int bufferLength, const QString& statusCaption) {
    for (const StatusTable& table : kStatusTables) {
        if (isCommand(command, table.command))
            return lookUp(table, transcript);
    }
    if (isCommand(command, "CR3") && bufferLength == 6)
        return statusCaption + lampHours(transcript);
    if (isCommand(command, "CR6") && bufferLength == 18)
        return temperatures(transcript);
    return std::nullopt;
}

} // namespace tavo
