#include "SerialPort.h"

namespace tavo {

QString settingsForBaudCode(quint8 baudCode) {
    return baudCode == 96 ? QStringLiteral("9600,N,8,1") : QStringLiteral("19200,N,8,1");
}

QString settingsForBaud(int baud) {
    return settingsForBaudCode(baud == 9600 ? 96 : 192);
}

bool isUsablePort(int port) {
    return port >= 1 && port <= 15;
}

} // namespace tavo
