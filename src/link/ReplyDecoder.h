#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tavo {

// Turns the reply transcript of a status read into words for the STATUS line.
// `command` is CurrentCommand; a table applies only when it is exactly the
// table's command followed by CR, so a command sent with an address prefix is
// never decoded. Returns the new status caption, or nothing when no table
// applies or no key matches (the caption then stays as it is).
std::optional<QString> decodeReply(const QByteArray& command, const QString& transcript,
                                   int bufferLength, const QString& statusCaption);

} // namespace tavo
