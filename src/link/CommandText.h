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

// The first control byte of a command's text, without its CR: C0 (0x00-0x1F), DEL (0x7F) or C1
// (0x80-0x9F). A serial adapter or device server may act on C1 bytes, and no projector command
// holds one.
std::optional<ControlByte> findControlByte(const QByteArray& command);

// "CR (0x0D) at position 4", "NEL (0x85) at position 2", for an error line.
QString describeControlByte(const ControlByte& found);

// A command typed as text (MQTT, HTTP, the command line) as the bytes it puts on the line, one
// per character: Latin-1 only, and no control byte. Nothing when it cannot go; `why` then says
// what is wrong ("the command holds NEL (0x85) at position 4").
std::optional<QByteArray> commandTextBytes(const QString& text, QString* why);

// What goes on the wire: the address prefix ("", "AFFF", "A001".."A004"), the command, one CR.
QByteArray frameCommand(const QByteArray& addressPrefix, const QByteArray& command);

// The receive buffer of a reply: appends what fits within `limit` and returns how many bytes
// were taken, so line noise cannot grow memory or work.
int appendWithin(QByteArray& buffer, const QByteArray& arrived, int limit);

// A reply is whole once it holds its end: CR after text, or an ACK.
bool replyComplete(const QByteArray& buffer);

} // namespace tavo
