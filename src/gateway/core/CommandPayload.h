#pragma once

#include "ProjectorCommand.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tavo::gateway {

// The grammar of what the fronts take as a command (an MQTT payload, an HTTP body, a button of
// the page's form), in one place so they accept exactly the same. Each front says in its own
// words what it refused.
class CommandPayload {
public:
    // "on" or "off".
    static std::optional<bool> power(const QByteArray& payload);
    // One digit naming an input a command can select ("1" to "4").
    static std::optional<int> input(const QByteArray& payload);

    enum class TextError { None, Empty, NotUtf8, NotCommand };
    // A command's text as typed in the console, UTF-8 within Latin-1 and no control byte, as
    // the bytes it puts on the line. On refusal `error` says which rule it broke and `why`,
    // for NotCommand, what is wrong with it.
    static std::optional<ProjectorCommand> text(const QByteArray& payload, TextError* error,
                                                QString* why);
};

} // namespace tavo::gateway
