#pragma once

#include "SerialPortListing.h"

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QListWidget;
class QTableWidget;

namespace tavo {

// "Devices…": which device each of COM1..COM15 opens, the serial ports
// present and the lines gateways on this computer share, and a way to give a COM number a device
// path or a network port. Each assignment rewrites only that key's line of [Ports] in the settings
// file; "Default" removes it again.
class DevicesDialog : public QDialog {
    Q_OBJECT

public:
    using PortLister = std::function<QList<PresentSerialPort>()>;
    using DeviceResolver = std::function<QString(int port)>;

    DevicesDialog(QString settingsPath, DeviceResolver resolveDevice,
                  PortLister listPorts = &presentPorts, QWidget* parent = nullptr);

    // The COM number the buttons act on (1..15).
    void selectPort(int port);
    int selectedPort() const;
    QLineEdit* deviceField() const { return m_device; }
    QListWidget* presentList() const { return m_present; }
    QTableWidget* portTable() const { return m_ports; }
    QString statusText() const;

    // "Assign": COMn := the device field. False (and says why) when the
    // field is empty or a malformed network name, or the file cannot be written.
    bool assign();
    // "Default": COMn goes back to its meaning without an entry.
    bool useDefault();

private:
    void refreshPorts();
    void refreshPresent();
    void say(const QString& text);

    QString m_settingsPath;
    DeviceResolver m_resolveDevice;
    PortLister m_listPorts;
    QTableWidget* m_ports = nullptr;
    QListWidget* m_present = nullptr;
    QLineEdit* m_device = nullptr;
    QLabel* m_status = nullptr;
};

} // namespace tavo
