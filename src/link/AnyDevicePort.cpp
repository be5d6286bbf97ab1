#include "AnyDevicePort.h"

#include "NetworkAddress.h"

namespace tavo {

AnyDevicePort::AnyDevicePort(DeviceResolver resolveDevice, QObject* parent)
    : QObject(parent), m_resolveDevice(std::move(resolveDevice)),
      m_serial([this](int) { return m_resolved; }), m_network([this](int) { return m_resolved; }) {
    m_serial.setOnComm([this] {
        if (m_active == &m_serial)
            raiseOnComm();
    });
    m_network.setOnComm([this] {
        if (m_active == &m_network)
            raiseOnComm();
    });
}

void AnyDevicePort::setSettings(const QString& settings) {
    m_serial.setSettings(settings);
    m_network.setSettings(settings);
}

bool AnyDevicePort::setCommPort(int port) {
    if (m_opening || m_active->portOpen() || port < 1 || port > 15)
        return false;
    m_commPort = port;
    return true;
}

bool AnyDevicePort::setPortOpen(bool open) {
    if (!open)
        return m_active->setPortOpen(false);
    // A network open waits in a local event loop; an event handled there
    // must not start another one.
    if (m_opening || m_active->portOpen())
        return false;
    m_resolved = m_resolveDevice(m_commPort);
    m_active = isNetworkDevice(m_resolved) ? static_cast<SerialPort*>(&m_network) : &m_serial;
    m_active->setCommPort(m_commPort);
    m_opening = true;
    const bool opened = m_active->setPortOpen(true);
    m_opening = false;
    return opened;
}

} // namespace tavo
