#pragma once

#include "Readings.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tavo {

// What a reply to a status read says: the typed value and the status line's words.
struct DecodedReply {
    Readings readings;              // the read's value, when the reply holds one
    std::optional<QString> caption; // the new status caption; nothing leaves the line as it is
};

// Decodes everything received so far for `command` (CurrentCommand). A status read applies only
// when `command` is exactly its command followed by CR, so a command sent with an address prefix
// is never decoded; nor is any reply while no read applies or no code matches.
DecodedReply decodeReply(const QByteArray& command, const QByteArray& reply,
                         const QString& statusCaption);

} // namespace tavo
