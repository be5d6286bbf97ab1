#pragma once

#include "Readings.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tavo {

// One status read of the panel and the poll: its command, how its reply becomes a typed value,
// and the words the status line shows for it. A new read is one row of the table and one member
// of Readings.
struct StatusRead {
    const char* command;   // without the CR
    Readings::Field field; // the member its reply fills
    // The value in the reply received so far, written into `into`; false while it holds none.
    bool (*decode)(const QByteArray& reply, Readings& into);
    // The status line after the reply, given what `decode` found: the words for the value, or,
    // for the reads the line copies digit by digit, the reply's own characters appended to or
    // replacing `caption`. Nothing leaves the line as it is.
    std::optional<QString> (*caption)(const Readings& found, const QByteArray& reply,
                                      const QString& caption);
};

// Every status read, in the order a poll sends them: power first, because a projector that does
// not answer it is not asked the rest.
const StatusRead* statusReadsBegin();
const StatusRead* statusReadsEnd();
// The read whose command is exactly `command` (without the CR); null for any other text.
const StatusRead* statusReadOf(const QByteArray& command);

// The status line's words for a value, without the line's leading space.
QString wordsOf(PowerState state);
QString wordsOf(Reversal reversal);
// Empty for an input the input read does not report.
QString inputWords(int input);
// The inputs the input read reports, numbered from 1.
int inputCount();

} // namespace tavo
