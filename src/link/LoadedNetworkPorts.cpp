#include "LoadedNetworkPorts.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

namespace tavo {
namespace {

using MakeNetworkPort = SerialPort* (*)(const std::function<QString(int)>&);

// Never unloaded: the ports it made live until the program ends.
MakeNetworkPort loadMaker(QString* why) {
    static QLibrary module;
    static MakeNetworkPort make = nullptr;
    if (make)
        return make;
    module.setFileName(
        QDir(QCoreApplication::applicationDirPath())
            .filePath(QStringLiteral(TAVO_MODULE_DIR_FROM_BIN "/" TAVO_NETWORK_MODULE)));
    make = reinterpret_cast<MakeNetworkPort>(module.resolve("tavo_make_network_port"));
    if (!make)
        *why = module.errorString();
    return make;
}

} // namespace

AnyDevicePort::NetworkPortMaker loadedNetworkPorts() {
    return [](AnyDevicePort::DeviceResolver resolveDevice,
              QString* why) -> std::unique_ptr<SerialPort> {
        const MakeNetworkPort make = loadMaker(why);
        if (!make)
            return nullptr;
        return std::unique_ptr<SerialPort>(make(resolveDevice));
    };
}

} // namespace tavo
