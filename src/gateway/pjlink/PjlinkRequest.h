#pragma once

#include <QByteArray>

#include <optional>

namespace tavo::gateway::pjlink {

// One command line, "%1POWR ?" or "%2INNM ?11", its digest already taken off.
struct Request {
    char pjClass = '1';     // as sent: its answer carries the same
    QByteArray command;     // four characters, upper case
    bool separated = false; // a space followed the command
    QByteArray parameter;   // after the space, as sent
    bool overlong = false;  // the line was cut: the parameter is out of range

    // "%1POWR=" + value + CR.
    QByteArray answer(const QByteArray& value) const;
};

// Nothing for a line with no PJLink header ('%', a digit, four letters or digits): there is no
// command to answer for. Command names in lower case are taken.
std::optional<Request> parseRequest(const QByteArray& line, bool overlong = false);

// A parameter of printable ASCII within the standard's 128 bytes.
bool isPlainParameter(const Request& request);

} // namespace tavo::gateway::pjlink
