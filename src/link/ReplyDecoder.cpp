#include "ReplyDecoder.h"

#include <QStringList>

#include <array>

namespace tavo {
namespace {

struct KeyRow {
    const char* key;
    const char* text;
};

enum class Match {
    Leading,         // the first keyLength transcript characters equal the key
    AllButLastSeven, // the transcript without its last 7 characters equals the key
    LampHours,       // buffer of exactly 6 characters, appended hour count
    Temperatures,    // buffer of exactly 18 characters, three fields
};

struct Table {
    const char* command; // without the CR
    Match match;
    int keyLength;
    const KeyRow* rows;
    int rowCount;
};

constexpr KeyRow kPower[] = {
    {" 0 0", " Power ON"},
    {" 8 0", " Stand by"},
    {" 4 0", " Count down"},
    {" 2 0", " Cooling down"},
    {" 1 0", " Power abnormality"},
    {" 0 8", " Temperature abnormality"},
    {" 1 8", " Temperature abnormality"},
    {" 2 8", " Temperature abnormality"},
    {" 4 8", " Temperature abnormality"},
    {" 8 8", " Temperature abnormality"},
    {" 2 1", " Lamp Failure"},
    {" 8 1", " Lamp Failure"},
};

constexpr KeyRow kInput[] = {
    {" 1", " Input 1"}, {" 2", " Input 2"},         {" 3", " Input 3"},
    {" 4", " Wired"},   {" 5", " Wireless/Viewer"},
};

constexpr KeyRow kReversal[] = {
    {" 1 1", " Normally"},
    {" 1 0", " Top/Bottom reversal"},
    {" 0 1", " Left/Right reversal"},
    {" 0 0", " Top/Bottom , Left/Right reversal"},
};

// Tables for two catalogue reads. Their keys hold plain spaces where a
// transcript shows "_ ", and only the panel sets the command they are chosen
// by, so they never match; they are kept so the decoder is complete.
constexpr KeyRow kLampStatus[] = {
    {" 0 0 0   1 I", " Lamp is ON"},
    {" 0 0 0   1 O", " Lamp is OFF"},
    {" 0 0 0   1 X", " Lamp is failure"},
};

constexpr KeyRow kLampMode[] = {
    {" 0 0 0   H I G H", " Lamp Mode is High"},
    {" 0 0 0   N O R M A L", " Lamp Mode is NORMAL"},
    {" 0 0 0   E C O", " Lamp Mode is Eco"},
};

template <std::size_t N> constexpr int count(const KeyRow (&)[N]) {
    return static_cast<int>(N);
}

const std::array<Table, 7> kTables = {{
    {"CR0", Match::Leading, 4, kPower, count(kPower)},
    {"CR1", Match::Leading, 2, kInput, count(kInput)},
    {"CR4", Match::Leading, 4, kReversal, count(kReversal)},
    {"CR3", Match::LampHours, 0, nullptr, 0},
    {"CR6", Match::Temperatures, 0, nullptr, 0},
    {"CR LAMPSTS", Match::Leading, 12, kLampStatus, count(kLampStatus)},
    {"CR LAMPMODE", Match::AllButLastSeven, 0, kLampMode, count(kLampMode)},
}};

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

std::optional<QString> lookUp(const Table& table, const QString& transcript) {
    const QString probe = table.match == Match::AllButLastSeven
                              ? transcript.left(qMax(0, int(transcript.size()) - 7))
                              : transcript.left(table.keyLength);
    for (int i = 0; i < table.rowCount; ++i) {
        if (probe == QLatin1String(table.rows[i].key))
            return QString::fromLatin1(table.rows[i].text);
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> decodeReply(const QByteArray& command, const QString& transcript,
                                   int bufferLength, const QString& statusCaption) {
    std::optional<QString> status;
    for (const Table& table : kTables) {
        if (!isCommand(command, table.command))
            continue;
        const QString current = status.value_or(statusCaption);
        switch (table.match) {
        case Match::Leading:
        case Match::AllButLastSeven:
            if (auto text = lookUp(table, transcript))
                status = *text;
            break;
        case Match::LampHours:
            if (bufferLength == 6)
                status = current + lampHours(transcript);
            break;
        case Match::Temperatures:
            if (bufferLength == 18)
                status = temperatures(transcript);
            break;
        }
    }
    return status;
}

QStringList decodedTexts() {
    QStringList texts;
    for (const Table& table : kTables) {
        for (int i = 0; i < table.rowCount; ++i)
            texts << QString::fromLatin1(table.rows[i].text);
    }
    texts.removeDuplicates();
    return texts;
}

} // namespace tavo
