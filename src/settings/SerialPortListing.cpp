#include "SerialPortListing.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSerialPortInfo>

namespace tavo {

QList<PresentSerialPort> presentSerialPorts() {
    // /dev/serial/by-id/<vendor_product_serial> -> ../../ttyUSB0
    QHash<QString, QString> byId;
    const QDir dir(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& link : dir.entryInfoList(QDir::System | QDir::Files, QDir::Name))
        byId.insert(link.canonicalFilePath(), link.absoluteFilePath());

    QList<PresentSerialPort> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        PresentSerialPort port;
        port.systemLocation = info.systemLocation();
#ifdef Q_OS_WIN
        // "COM3", as Device Manager and the port's own number name it (not \\.\COM3).
        port.device = info.portName();
#else
        port.device =
            byId.value(QFileInfo(port.systemLocation).canonicalFilePath(), port.systemLocation);
#endif
        port.description = info.description();
        port.serialNumber = info.serialNumber();
        ports << port;
    }
    return ports;
}

QList<PresentSerialPort> sharedLines(const QList<GatewayShares>& gateways) {
    QList<PresentSerialPort> ports;
    for (const GatewayShares& gateway : gateways)
        for (const GatewayShares::Line& line : gateway.lines) {
            const QString url = gateway.urlOf(line);
            ports << PresentSerialPort{
                url,
                url,
                QStringLiteral("gateway %1 shares %2").arg(gateway.site, line.device),
                {}};
        }
    return ports;
}

QList<PresentSerialPort> presentPorts() {
    return presentSerialPorts() + sharedLines(runningGatewayShares(gatewayRuntimeDirectories()));
}

} // namespace tavo
