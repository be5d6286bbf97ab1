// The network ports as a Qt plugin, loaded by the console on the first open of a network device.
#include "NetworkPort.h"
#include "NetworkPortFactory.h"

#include <QObject>

namespace tavo {

class NetworkPortPlugin : public QObject, public NetworkPortFactory {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID TAVO_NETWORK_PORT_FACTORY_IID)
    Q_INTERFACES(tavo::NetworkPortFactory)

public:
    std::unique_ptr<SerialPort> create(AnyDevicePort::DeviceResolver resolveDevice) override {
        return std::make_unique<NetworkPort>(std::move(resolveDevice));
    }
};

} // namespace tavo

#include "NetworkPortPlugin.moc"
