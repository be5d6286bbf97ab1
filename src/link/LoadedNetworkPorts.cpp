#include "LoadedNetworkPorts.h"

#include "NetworkPortFactory.h"

#include <QCoreApplication>
#include <QDir>
#include <QPluginLoader>

namespace tavo {
namespace {

// Never unloaded: the ports it made live until the program ends.
NetworkPortFactory* loadFactory(QString* why) {
    static QPluginLoader loader;
    static NetworkPortFactory* factory = nullptr;
    if (factory)
        return factory;
    loader.setFileName(
        QDir(QCoreApplication::applicationDirPath())
            .filePath(QStringLiteral(TAVO_PLUGIN_DIR_FROM_BIN "/" TAVO_NETWORK_PLUGIN)));
    factory = qobject_cast<NetworkPortFactory*>(loader.instance());
    if (!factory)
        *why = loader.isLoaded()
                   ? QStringLiteral("%1 is not the network ports' plugin").arg(loader.fileName())
                   : loader.errorString();
    return factory;
}

} // namespace

AnyDevicePort::NetworkPortMaker loadedNetworkPorts() {
    return [](AnyDevicePort::DeviceResolver resolveDevice,
              QString* why) -> std::unique_ptr<SerialPort> {
        NetworkPortFactory* factory = loadFactory(why);
        return factory ? factory->create(std::move(resolveDevice)) : nullptr;
    };
}

} // namespace tavo
