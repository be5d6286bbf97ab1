#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tavo {

// A byte in a command's text that would change what the line carries: CR ends a command, so a
// CR inside the text would start a second, unaddressed one that every projector obeys.
struct ControlByte {
    int position = 0; // 1-based, in the command's text
    quint8 byte = 0;
};

// The first control byte (0x00-0x1F, 0x7F) of a command's text, without its CR.
std::optional<ControlByte> findControlByte(const QByteArray& command);

// "CR (0x0D) at position 4", for an error line.
QString describeControlByte(const ControlByte& found);

// What goes on the wire: the address prefix ("", "AFFF", "A001".."A004"), the command, one CR.
QByteArray frameCommand(const QByteArray& addressPrefix, const QByteArray& command);

// The receive buffer of a reply: appends what fits within `limit` and returns how many bytes
// were taken, so line noise cannot grow memory or work.
int appendWithin(QByteArray& buffer, const QByteArray& arrived, int limit);

// A reply is whole once it holds its end: CR after text, or an ACK.
bool replyComplete(const QByteArray& buffer);

} // namespace tavo
