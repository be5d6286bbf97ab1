#pragma once

#include "GatewayShares.h"

#include <QList>
#include <QString>

namespace tavo {

// A serial port the system has now.
struct PresentSerialPort {
    QString device;         // the stable /dev/serial/by-id/ name where one exists, else the path
    QString systemLocation; // "/dev/ttyUSB0"
    QString description;    // "FT232R USB UART"
    QString serialNumber;
};

// The serial ports present (built-in, USB and ACM adapters), by-id names
// preferred since they survive replugging into another socket.
QList<PresentSerialPort> presentSerialPorts();

// The lines `gateways` share, each as the tcp:// port that reaches it from this computer and
// described by the gateway's site and the line's device.
QList<PresentSerialPort> sharedLines(const QList<GatewayShares>& gateways);

// What "Devices…" lists: the serial ports, then the shares of the gateways running here.
QList<PresentSerialPort> presentPorts();

} // namespace tavo
