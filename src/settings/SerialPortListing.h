#pragma once

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

} // namespace tavo
