#pragma once

#include <QByteArray>
#include <QString>

namespace tavo {

// A button that sends one fixed command per click.
struct OneShotCommand {
    const char* control; // e.g. "Command17"
    const char* command; // without the CR
};

// An arrow button that repeats its command while held; code is RepeatCode.
struct RepeatCommand {
    quint8 code;
    const char* command;
    const char* control;
};

constexpr int kOneShotCount = 29;
constexpr int kRepeatCount = 18;

const OneShotCommand* oneShotCommands(); // kOneShotCount rows, in panel order
const RepeatCommand* repeatCommands();   // kRepeatCount rows, code 1..18 in order

// The row for a control name, or nullptr.
const OneShotCommand* findOneShot(const QString& control);
const RepeatCommand* findRepeat(const QString& control);
// The command text for RepeatCode 1..18, or empty.
QByteArray repeatCommandText(quint8 code);

} // namespace tavo
