#include "AnyDevicePort.h"

#include "NetworkAddress.h"
#include "OpenFailure.h"

namespace tavo {

AnyDevicePort::AnyDevicePort(DeviceResolver resolveDevice, NetworkPortMaker makeNetworkPort,
                             QObject* parent)
    : QObject(parent), m_resolveDevice(std::move(resolveDevice)),
      m_makeNetworkPort(std::move(makeNetworkPort)), m_serial([this](int) { return m_resolved; }) {
    m_serial.setOnComm([this] {
        if (m_active == &m_serial)
            raiseOnComm();
    });
}

AnyDevicePort::AnyDevicePort(NetworkPortMaker makeNetworkPort, QObject* parent)
    : AnyDevicePort(DeviceResolver(), std::move(makeNetworkPort), parent) {}

AnyDevicePort::~AnyDevicePort() = default;

void AnyDevicePort::setSettings(const QString& settings) {
    m_serial.setSettings(settings);
    if (m_network)
        m_network->setSettings(settings);
}

bool AnyDevicePort::setCommPort(int port) {
    if (m_opening || m_active->portOpen() || port < 1 || port > 15)
        return false;
    m_commPort = port;
    return true;
}

QString AnyDevicePort::openError() const {
    return m_unavailable.isEmpty() ? m_active->openError() : m_unavailable;
}

QString AnyDevicePort::deviceName() const {
    return m_unavailable.isEmpty() ? m_active->deviceName() : m_resolved;
}

bool AnyDevicePort::makeNetworkPort() {
    QString why;
    m_network = m_makeNetworkPort([this](int) { return m_resolved; }, &why);
    if (!m_network) {
        m_unavailable = openFailureText(OpenFailure::Other, m_resolved,
                                        QStringLiteral("Network ports are not available: ") + why);
        return false;
    }
    // Both ports are always given the same settings: the local one holds them.
    m_network->setSettings(m_serial.settings());
    m_network->setOnComm([this] {
        if (m_active == m_network.get())
            raiseOnComm();
    });
    return true;
}

QString AnyDevicePort::resolvedDevice() const {
    return m_resolveDevice ? m_resolveDevice(m_commPort) : m_resolved;
}

bool AnyDevicePort::chooseForOpen(const QString& device) {
    // A network open may wait in a local event loop; an event handled there
    // must not start another one.
    if (m_opening || m_active->portOpen())
        return false;
    m_unavailable.clear();
    m_resolved = device;
    if (isNetworkDevice(m_resolved)) {
        if (!m_network && !makeNetworkPort())
            return false;
        m_active = m_network.get();
    } else {
        m_active = &m_serial;
    }
    m_active->setCommPort(m_commPort);
    return true;
}

bool AnyDevicePort::setPortOpen(bool open) {
    if (!open)
        return m_active->setPortOpen(false);
    if (!chooseForOpen(resolvedDevice()))
        return false;
    m_opening = true;
    const bool opened = m_active->setPortOpen(true);
    m_opening = false;
    return opened;
}

void AnyDevicePort::openAsync(std::function<void(bool opened)> done) {
    if (!chooseForOpen(resolvedDevice())) {
        done(false);
        return;
    }
    openChosen(std::move(done));
}

void AnyDevicePort::open(const QString& device, int baud, std::function<void(bool opened)> done) {
    setSettings(settingsForBaud(baud));
    if (!chooseForOpen(device)) {
        done(false);
        return;
    }
    openChosen(std::move(done));
}

void AnyDevicePort::openChosen(std::function<void(bool opened)> done) {
    m_opening = true;
    // The chosen port is ours: it cannot report after this object is gone.
    m_active->openAsync([this, done = std::move(done)](bool opened) {
        m_opening = false;
        done(opened);
    });
}

} // namespace tavo
