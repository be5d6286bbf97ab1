#pragma once

#include <QString>

namespace tavo {

// The device behind port number 1..15. Key COMn of section [Ports] in the
// settings file names a device (a path, another COM port, a network port) and
// always wins; without it port n is "COMn" on Windows and elsewhere
// /dev/ttyUSB(n-1), the usual name of the n-th USB serial adapter. The program
// only reads [Ports].
QString deviceForPort(int port, const QString& settingsPath);

} // namespace tavo
