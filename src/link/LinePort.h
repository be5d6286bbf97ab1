#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace tavo {

// A serial line as the programs that name their device see it: which device at which speed,
// then bytes both ways and the line's events (SerialPort's CommEvent codes). The console drives
// its port through SerialPort's own members instead; a class may offer both.
class LinePort {
public:
    virtual ~LinePort() = default;

    // Opens `device` (a path, "tcp://host:port" or "rfc2217://host:port") at 9600 or 19200 baud,
    // no parity, 8 data bits, 1 stop bit, without waiting in a loop of its own: `done` runs once
    // with the outcome (openError() says why it failed), possibly before this returns.
    virtual void open(const QString& device, int baud, std::function<void(bool opened)> done) = 0;
    // Closes the line, or gives up an open under way; always succeeds.
    virtual void close() = 0;
    virtual bool portOpen() const = 0;
    virtual QString openError() const = 0;
    // The device of the most recent open.
    virtual QString deviceName() const = 0;

    // Queues the bytes in order without waiting; false while the line is closed.
    virtual bool output(const QByteArray& bytes) = 0;
    // Hands over every waiting byte, in arrival order, and forgets them.
    virtual QByteArray input() = 0;
    // The reason for the most recent line event.
    virtual int commEvent() const = 0;
    // Told on the event loop, one at a time, whenever bytes are waiting and for other events.
    virtual void setOnComm(std::function<void()> handler) = 0;
};

} // namespace tavo
