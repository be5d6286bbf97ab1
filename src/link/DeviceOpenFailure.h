#pragma once

#include <QSerialPort>
#include <QString>

namespace tavo {

// Why a local serial device did not open, as the sentence for the operator.
// `error` and `systemText` are QSerialPort's report of the failed open
// (NoError when it was not tried); the device itself is looked at to tell a
// missing device from a forbidden, a busy or an unsuitable one.
QString describeDeviceOpenFailure(const QString& device, QSerialPort::SerialPortError error,
                                  const QString& systemText);

// The program holding the device's UUCP-style lock file ("PID 1234, minicom"),
// or empty when there is none or its holder is gone.
QString lockFileHolder(const QString& device);

} // namespace tavo
