#include "StatusReads.h"

#include "ProjectorCommand.h"
#include "Transcript.h"

#include <iterator>

namespace tavo {
namespace {

// A value by the characters its reply begins with.
template <class T> struct Code {
    const char* reply;
    T value;
};

constexpr Code<PowerState> kPowerCodes[] = {
    {"00", PowerState::On},
    {"80", PowerState::Standby},
    {"40", PowerState::CountDown},
    {"20", PowerState::CoolingDown},
    {"10", PowerState::PowerFault},
    {"08", PowerState::TemperatureFault},
    {"18", PowerState::TemperatureFault},
    {"28", PowerState::TemperatureFault},
    {"48", PowerState::TemperatureFault},
    {"88", PowerState::TemperatureFault},
    {"21", PowerState::LampFault},
    {"81", PowerState::LampFault},
};
// By PowerState.
constexpr const char* kPowerWords[] = {
    " Power ON",     " Stand by",          " Count down",
    " Cooling down", " Power abnormality", " Temperature abnormality",
    " Lamp Failure",
};

constexpr Code<int> kInputCodes[] = {{"1", 1}, {"2", 2}, {"3", 3}, {"4", 4}, {"5", 5}};
// By input number, from 1.
constexpr const char* kInputWords[] = {
    " Input 1", " Input 2", " Input 3", " Wired", " Wireless/Viewer",
};

constexpr Code<Reversal> kReversalCodes[] = {
    {"11", Reversal::Normal},
    {"10", Reversal::TopBottom},
    {"01", Reversal::LeftRight},
    {"00", Reversal::Both},
};
// By Reversal.
constexpr const char* kReversalWords[] = {
    " Normally",
    " Top/Bottom reversal",
    " Left/Right reversal",
    " Top/Bottom , Left/Right reversal",
};

static_assert(std::size(kPowerWords) == size_t(PowerState::LampFault) + 1);
static_assert(std::size(kReversalWords) == size_t(Reversal::Both) + 1);
static_assert(std::size(kInputWords) == std::size(kInputCodes));

template <class T, size_t N>
std::optional<T> lookUp(const Code<T> (&codes)[N], const QByteArray& reply) {
    for (const Code<T>& code : codes) {
        if (reply.startsWith(code.reply))
            return code.value;
    }
    return std::nullopt;
}

QString caption(const char* words) {
    return QString::fromLatin1(words);
}

bool decodePower(const QByteArray& reply, Readings& into) {
    into.power = lookUp(kPowerCodes, reply);
    return into.power.has_value();
}

std::optional<QString> powerCaption(const Readings& found, const QByteArray&, const QString&) {
    if (!found.power)
        return std::nullopt;
    return caption(kPowerWords[int(*found.power)]);
}

bool decodeInput(const QByteArray& reply, Readings& into) {
    into.input = lookUp(kInputCodes, reply);
    return into.input.has_value();
}

std::optional<QString> inputCaption(const Readings& found, const QByteArray&, const QString&) {
    if (!found.input)
        return std::nullopt;
    return caption(kInputWords[*found.input - 1]);
}

bool decodeReversal(const QByteArray& reply, Readings& into) {
    into.reversal = lookUp(kReversalCodes, reply);
    return into.reversal.has_value();
}

std::optional<QString> reversalCaption(const Readings& found, const QByteArray&, const QString&) {
    if (!found.reversal)
        return std::nullopt;
    return caption(kReversalWords[int(*found.reversal)]);
}

// Lamp hours: five digits and CR.
constexpr int kLampReplySize = 6;

bool allDigits(const QByteArray& text) {
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return !text.isEmpty();
}

bool decodeLampHours(const QByteArray& reply, Readings& into) {
    into.lampHours.reset();
    if (reply.size() == kLampReplySize && reply.endsWith('\r') && allDigits(reply.left(5)))
        into.lampHours = reply.left(5).toInt();
    return into.lampHours.has_value();
}

// The line copies the transcript of any six characters, not only of digits: leading blanks and
// zeros become spaces, and from the first significant character on the transcript stands as it
// is, without its last five characters.
std::optional<QString> lampCaption(const Readings&, const QByteArray& reply,
                                   const QString& caption) {
    if (reply.size() != kLampReplySize)
        return std::nullopt;
    const QString transcript = renderTranscript(reply);
    QString out;
    bool significant = false;
    const int last = int(transcript.size()) - 5;
    for (int i = 0; i < last; ++i) {
        const QChar c = transcript.at(i);
        if (!significant && (c == QLatin1Char(' ') || c == QLatin1Char('0'))) {
            out += QLatin1Char(' ');
        } else {
            out += c;
            significant = true;
        }
    }
    return caption + out + QLatin1String(" Hour Use");
}

// Temperatures: three five-character fields, a separator after the first two, and CR.
constexpr int kTemperatureReplySize = 18;

// A number as the projector writes one: no blanks, controls or characters above "z".
std::optional<double> temperatureIn(const QByteArray& field) {
    for (char c : field) {
        if (uchar(c) <= ' ' || uchar(c) > 'z')
            return std::nullopt;
    }
    bool ok = false;
    const double value = field.toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

bool decodeTemperatures(const QByteArray& reply, Readings& into) {
    into.temperatures.reset();
    if (reply.size() != kTemperatureReplySize)
        return false;
    QList<double> values;
    for (int at : {0, 6, 12}) {
        const std::optional<double> value = temperatureIn(reply.mid(at, 5));
        if (!value)
            return false;
        values << *value;
    }
    into.temperatures = values;
    return true;
}

std::optional<QString> temperatureCaption(const Readings&, const QByteArray& reply,
                                          const QString&) {
    if (reply.size() != kTemperatureReplySize)
        return std::nullopt;
    const QString t = renderTranscript(reply);
    const QLatin1String unit(" deg C ");
    return t.mid(0, 10) + unit + t.mid(13, 9) + unit + t.mid(25, 9) + unit;
}

constexpr StatusRead kStatusReads[] = {
    {commands::kReadPower, Readings::Field::Power, decodePower, powerCaption},
    {commands::kReadInput, Readings::Field::Input, decodeInput, inputCaption},
    {commands::kReadLampHours, Readings::Field::LampHours, decodeLampHours, lampCaption},
    {commands::kReadTemperatures, Readings::Field::Temperatures, decodeTemperatures,
     temperatureCaption},
    {commands::kReadReversal, Readings::Field::Reversal, decodeReversal, reversalCaption},
};

} // namespace

const StatusRead* statusReadsBegin() {
    return std::begin(kStatusReads);
}

const StatusRead* statusReadsEnd() {
    return std::end(kStatusReads);
}

const StatusRead* statusReadOf(const QByteArray& command) {
    for (const StatusRead& read : kStatusReads) {
        if (command == read.command)
            return &read;
    }
    return nullptr;
}

QString wordsOf(PowerState state) {
    return caption(kPowerWords[int(state)]).mid(1);
}

QString wordsOf(Reversal reversal) {
    return caption(kReversalWords[int(reversal)]).mid(1);
}

QString inputWords(int input) {
    if (input < 1 || input > inputCount())
        return {};
    return caption(kInputWords[input - 1]).mid(1);
}

int inputCount() {
    return int(std::size(kInputWords));
}

} // namespace tavo
