#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace tavo {

// The serial component as the rest of the program sees it: settings, port
// number, open state (and why an open failed), output, input and the line
// event, and nothing more, so a fake or a network port can stand in for it.
// Strings are bytes, one character each.
class SerialPort {
public:
    // CommEvent codes.
    static constexpr int EvReceive = 2;
    // The device went away (adapter unplugged, peer hung up); the port is closed.
    static constexpr int EvLinkLost = 1100;

    virtual ~SerialPort() = default;

    // "9600,N,8,1" or "19200,N,8,1"; accepted while closed, used at the next open.
    virtual void setSettings(const QString& settings) = 0;
    virtual QString settings() const = 0;

    // 1..15; written only while closed. Returns false for a number that names no port.
    virtual bool setCommPort(int port) = 0;
    virtual int commPort() const = 0;

    // Opening returns false when the port cannot be opened (missing, not a
    // serial device, held by another program). Closing always succeeds.
    virtual bool setPortOpen(bool open) = 0;
    virtual bool portOpen() const = 0;
    // Opens without waiting in a loop of its own, for programs that serve several ports at
    // once: `done` runs once with the outcome (openError() says why it failed), possibly
    // before this returns. The default opens in place, as a local device does at once.
    virtual void openAsync(std::function<void(bool opened)> done) { done(setPortOpen(true)); }
    // Why the most recent open failed, in words for the operator (the
    // system's reason and the device); empty after a successful open.
    virtual QString openError() const = 0;
    // What the port number resolved to at the most recent open ("/dev/ttyUSB0").
    virtual QString deviceName() const = 0;

    // Queues the bytes in order without waiting; false while the port is closed.
    virtual bool output(const QByteArray& bytes) = 0;

    // Hands over every waiting byte, in arrival order, and forgets them.
    virtual QByteArray input() = 0;

    // The reason for the most recent OnComm notification.
    virtual int commEvent() const = 0;

    // OnComm: raised on the UI thread, one at a time, whenever bytes are
    // waiting and for other line events.
    void setOnComm(std::function<void()> handler) { m_onComm = std::move(handler); }

protected:
    void raiseOnComm() {
        if (m_onComm)
            m_onComm();
    }

private:
    std::function<void()> m_onComm;
};

// "9600,N,8,1" for baud code 96, "19200,N,8,1" for every other code.
QString settingsForBaudCode(quint8 baudCode);
// The same for a rate in baud: 9600, or 19200 for every other rate.
QString settingsForBaud(int baud);

// Port numbers 1..15 name a port; every other number is "not configured".
bool isUsablePort(int port);

} // namespace tavo
