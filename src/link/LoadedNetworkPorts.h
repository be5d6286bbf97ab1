#pragma once

#include "AnyDevicePort.h"

namespace tavo {

// Network ports from the Qt plugin installed beside the program (tavo_network_ports, which brings
// Qt Network and the libraries it needs). It is loaded on the first open of a network device, so
// a console that never names one starts without them; when it cannot be loaded, that open fails
// with the loader's reason.
AnyDevicePort::NetworkPortMaker loadedNetworkPorts();

} // namespace tavo
