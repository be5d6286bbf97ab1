#include "sim/CommandResponder.h"

#include "ProjectorCommand.h"

#include <QHash>
#include <QSet>

namespace tavo::sim {

namespace {

// The execution commands this projector knows: the panel's buttons and arrows.
const QSet<QByteArray>& executionCodes() {
    static const QSet<QByteArray> codes = {
        "C00", "C01", "C05", "C06", "C07", "C08", "C0D", "C0E", "C0F", "C10", "C1C", "C1D", "C1E",
        "C27", "C30", "C31", "C3A", "C3B", "C3C", "C3D", "C3F", "C43", "C44", "C46", "C47", "C4A",
        "C4B", "C5D", "C5E", "C5F", "C60", "C89", "C8A", "C8B", "C8E", "C8F", "C90", "C91"};
    return codes;
}

// The input an input command selects; 0 for any other command.
int selectedInput(const QByteArray& code) {
    for (int input = 1; input <= commands::kSelectableInputs; ++input) {
        if (code == ProjectorCommand::input(input)->text)
            return input;
    }
    return 0;
}

struct SettingEffect {
    const char* stem;
    const char* value;
};

// Execution commands that have a set-command twin, so a later "CR <stem>" reflects them.
const QHash<QByteArray, SettingEffect>& settingEffects() {
    static const QHash<QByteArray, SettingEffect> effects = {
        {"C0D", {"VMUTE", "ON"}},   {"C0E", {"VMUTE", "OFF"}},     {"C43", {"FREEZE", "ON"}},
        {"C44", {"FREEZE", "OFF"}}, {"C0F", {"SCREEN", "NORMAL"}}, {"C10", {"SCREEN", "FULL"}},
        {"C1C", {"MENU", "ON"}},    {"C1D", {"MENU", "OFF"}}};
    return effects;
}

// Answers of named reads whose value nothing has set yet.
const QHash<QByteArray, QByteArray>& readDefaults() {
    static const QHash<QByteArray, QByteArray> defaults = {
        {"CEIL", "OFF"},    {"REAR", "OFF"},
        {"KEYDIS", "NONE"}, {"VMUTE", "OFF"},
        {"FREEZE", "OFF"},  {"SCREEN", "NORMAL"},
        {"MENU", "OFF"},    {"LANG", "ENG"},
        {"INFLAMP", "1"},   {"HMLAMP", "1"},
        {"SIGNAL", "ON"},   {"SERIALNO", "00000001"},
        {"CONT", "032"},    {"BRIGHT", "032"},
        {"COLOR", "032"},   {"TINT", "032"},
        {"SHARP", "016"},   {"GAMMA", "008"},
        {"IMAGE", "STAND"}, {"SOURCE", "ANALOG"},
        {"SYSTEM", "AUTO"}, {"AUTOLAMPCONTRL", "NORMAL"}};
    return defaults;
}

// Lamp mode and dimmer level are one setting here, read by "CR7" as well.
constexpr const char* kLampModeStem = "AUTOLAMPCONTRL";

constexpr const char* kNamedReadFallback = "000";

bool isStem(const QByteArray& text) {
    if (text.isEmpty())
        return false;
    for (char c : text) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '/';
        if (!ok)
            return false;
    }
    return true;
}

bool isArgumentText(const QByteArray& text) {
    if (text.isEmpty() || text.front() == ' ' || text.back() == ' ')
        return false;
    for (char c : text) {
        if (c < 0x20 || c > 0x7e)
            return false;
    }
    return true;
}

QByteArray line(const QByteArray& text) {
    return text + kCr;
}

} // namespace

QByteArray unknownCommandReply() {
    return line("?");
}

QByteArray CommandResponder::answer(const QByteArray& command) {
    if (command.startsWith("CF "))
        return set(command.mid(3));
    if (command.startsWith("CR "))
        return readNamed(command.mid(3));
    if (command.size() == 3 && command.startsWith("CR"))
        return readStatus(command.at(2));
    return execute(command);
}

QByteArray CommandResponder::execute(const QByteArray& code) {
    if (!executionCodes().contains(code))
        return unknownCommandReply();
    if (code == commands::kPowerOn)
        model_.powerOn();
    else if (code == commands::kPowerOff)
        model_.powerOff();
    else if (const int input = selectedInput(code))
        model_.selectInput(input);
    else if (const auto effect = settingEffects().find(code); effect != settingEffects().end())
        model_.store(effect->stem, effect->value);
    return QByteArray(1, kAck);
}

QByteArray CommandResponder::set(const QByteArray& stemAndArgs) {
    const int space = stemAndArgs.indexOf(' ');
    if (space < 0)
        return unknownCommandReply();
    QByteArray stem = stemAndArgs.left(space);
    const QByteArray args = stemAndArgs.mid(space + 1);
    if (!isStem(stem) || !isArgumentText(args))
        return unknownCommandReply();

    if (stem == "POWER") {
        if (args == "ON")
            model_.powerOn();
        else if (args == "OFF")
            model_.powerOff();
        else
            return unknownCommandReply();
        return QByteArray(1, kAck);
    }
    if (stem == "INPUT") {
        if (args.size() == 1 && args.at(0) >= '1' && args.at(0) <= '4')
            model_.selectInput(args.at(0) - '0');
        else if (args == "UP" || args == "DN")
            model_.stepInput(args == "UP" ? 1 : -1);
        else
            return unknownCommandReply();
        return QByteArray(1, kAck);
    }
    if (stem == "LAMPMODE")
        stem = kLampModeStem;
    model_.store(stem, args);
    return QByteArray(1, kAck);
}

QByteArray CommandResponder::readStatus(char digit) const {
    switch (digit) {
    case '0':
        return line(model_.statusCode());
    case '1':
        return line(QByteArray::number(model_.input()));
    case '3':
        return line(lampHoursText());
    case '4':
        return line(model_.reversal());
    case '6':
        return line(model_.temperatures());
    case '7':
        return readNamed(kLampModeStem);
    default:
        return unknownCommandReply();
    }
}

QByteArray CommandResponder::readNamed(const QByteArray& name) const {
    if (!isArgumentText(name))
        return unknownCommandReply();
    if (name == "LAMPSTS") {
        if (model_.health().lampFailure)
            return line("FAILURE");
        return line(model_.lampLit() ? "ON" : "OFF");
    }
    if (name == "LAMPH" || name == "PROJH")
        return line(lampHoursText());
    if (name == "INPUT")
        return line(QByteArray::number(model_.input()));
    if (name == "TEMP")
        return line(model_.temperatures());
    if (name == "STATUS") {
        static const QHash<QByteArray, QByteArray> words = {
            {"00", "ON"}, {"80", "STANDBY"}, {"40", "COUNTDOWN"}, {"20", "COOLING"}};
        return line(words.value(model_.statusCode(), "ERROR"));
    }
    const QByteArray stem = name == "LAMPMODE" ? QByteArray(kLampModeStem) : name;
    const QByteArray stored = model_.setting(stem);
    if (!stored.isEmpty())
        return line(stored);
    return line(readDefaults().value(stem, kNamedReadFallback));
}

QByteArray CommandResponder::lampMode() const {
    return readNamed(kLampModeStem).chopped(1);
}

QByteArray CommandResponder::lampHoursText() const {
    return QByteArray::number(model_.lampHours()).rightJustified(5, '0');
}

} // namespace tavo::sim
