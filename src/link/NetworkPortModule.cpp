// The network ports as a module of their own, loaded by the console on the first open of a
// network device (see LoadedNetworkPorts.h).
#include "NetworkPort.h"

extern "C" Q_DECL_EXPORT tavo::SerialPort*
tavo_make_network_port(const std::function<QString(int)>& resolveDevice) {
    return new tavo::NetworkPort(resolveDevice);
}
