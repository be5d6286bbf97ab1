#pragma once

#include <QByteArray>
#include <QString>

namespace tavo {

enum class TrafficKind : quint8 { Tx, Rx, TimeOut, NotSent, Opened, OpenFailed, Closed, Lost };

// One event on the line: a command sent, one reply (or one stretch of noise)
// received, or a change of the link's state.
struct TrafficRow {
    // A reply is a few bytes; noise is cut here and the rest only counted, so
    // a row, the window and the file stay small whatever the line does.
    static constexpr int kByteLimit = 64;

    qint64 time = 0; // milliseconds since the epoch; a reply's first byte
    TrafficKind kind = TrafficKind::Rx;
    QString port;       // "COM1 /dev/ttyUSB0"
    QByteArray address; // the address selected at the time, "" for none
    QByteArray bytes;   // at most kByteLimit
    qint64 moreBytes = 0;
    QString detail; // decoded words, or what happened
};

QString kindName(TrafficKind kind);
// "30 30 0D", and "+N bytes" for what was only counted.
QString hexText(const TrafficRow& row);
// The transcript rendering of the bytes kept (ASCII only).
QString renderingText(const TrafficRow& row);
// Local time, "2026-12-07T13:45:01.123+01:00".
QString isoLocalTime(qint64 msecsSinceEpoch);
// Fields separated by tabs: time, kind, port, address, hex, rendering, detail.
// Valid UTF-8 without control characters whatever the line carried.
QByteArray fileLine(const TrafficRow& row);

} // namespace tavo
