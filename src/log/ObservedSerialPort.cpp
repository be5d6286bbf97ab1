#include "ObservedSerialPort.h"

#include "TrafficObserver.h"

namespace tavo {

ObservedSerialPort::ObservedSerialPort(SerialPort& port) : m_port(port) {
    m_port.setOnComm([this] { handleOnComm(); });
}

bool ObservedSerialPort::setPortOpen(bool open) {
    const bool wasOpen = m_port.portOpen();
    const bool done = m_port.setPortOpen(open);
    reportOpen(open, wasOpen, done);
    return done;
}

void ObservedSerialPort::openAsync(std::function<void(bool opened)> done) {
    const bool wasOpen = m_port.portOpen();
    m_port.openAsync([this, wasOpen, done = std::move(done)](bool opened) {
        reportOpen(true, wasOpen, opened);
        done(opened);
    });
}

void ObservedSerialPort::reportOpen(bool open, bool wasOpen, bool succeeded) {
    if (!m_observer)
        return;
    if (open && succeeded)
        m_observer->portOpened();
    else if (open && !wasOpen)
        m_observer->portOpenFailed(m_port.openError());
    else if (!open && wasOpen)
        m_observer->portClosed();
}

bool ObservedSerialPort::output(const QByteArray& bytes) {
    const bool delivered = m_port.output(bytes);
    if (m_observer)
        m_observer->sent(bytes, delivered);
    return delivered;
}

QByteArray ObservedSerialPort::input() {
    QByteArray bytes = m_port.input();
    if (m_observer && !bytes.isEmpty())
        m_observer->received(bytes);
    return bytes;
}

void ObservedSerialPort::handleOnComm() {
    if (m_observer && m_port.commEvent() == EvLinkLost)
        m_observer->linkLost();
    raiseOnComm();
    if (m_observer)
        m_observer->notificationHandled();
}

} // namespace tavo
