#pragma once

#include "ProjectorCommand.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tavo::gateway::page {

// What a button of the status page's form asks for.
struct FormAction {
    enum class Kind { CheckToken, Projector, Room };
    Kind kind = Kind::CheckToken;
    QString target; // the projector's name or the room, as the site file has it
    ProjectorCommand command;
    QString what; // "power on", "input 3": for the page that answers
};

// An application/x-www-form-urlencoded body with the fields `token` and `do`; `do` is
// "check" or "ACTION:VALUE:KIND:TARGET" (power:on|off or input:1..4, projector or room).
struct FormPost {
    QByteArray token;
    std::optional<FormAction> action;
    QString error; // why there is no action
};
FormPost parseFormPost(const QByteArray& body);

} // namespace tavo::gateway::page
