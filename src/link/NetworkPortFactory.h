#pragma once

#include "AnyDevicePort.h"

#include <QtPlugin>

#include <memory>

namespace tavo {

// What the network ports' plugin (tavo_network_ports) offers the console, which loads it on the
// first open of a network device so that it starts without Qt Network (see LoadedNetworkPorts.h).
class NetworkPortFactory {
public:
    virtual ~NetworkPortFactory() = default;
    virtual std::unique_ptr<SerialPort> create(AnyDevicePort::DeviceResolver resolveDevice) = 0;
};

} // namespace tavo

#define TAVO_NETWORK_PORT_FACTORY_IID "org.tavo.mx7300.NetworkPortFactory/1"
Q_DECLARE_INTERFACE(tavo::NetworkPortFactory, TAVO_NETWORK_PORT_FACTORY_IID)
