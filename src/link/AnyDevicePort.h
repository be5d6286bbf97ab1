#pragma once

#include "NetworkPort.h"
#include "QtSerialPort.h"

namespace tavo {

// The serial component the program uses: at each open it resolves the port
// number and hands the work to a local serial device (a path such as
// /dev/ttyUSB0) or to a serial device server on the network
// ("tcp://host:port", "rfc2217://host:port").
class AnyDevicePort : public QObject, public SerialPort {
    Q_OBJECT

public:
    using DeviceResolver = std::function<QString(int port)>;

    explicit AnyDevicePort(DeviceResolver resolveDevice, QObject* parent = nullptr);

    void setSettings(const QString& settings) override;
    QString settings() const override { return m_active->settings(); }
    bool setCommPort(int port) override;
    int commPort() const override { return m_commPort; }
    bool setPortOpen(bool open) override;
    bool portOpen() const override { return m_active->portOpen(); }
    QString openError() const override { return m_active->openError(); }
    QString deviceName() const override { return m_active->deviceName(); }
    bool output(const QByteArray& bytes) override { return m_active->output(bytes); }
    QByteArray input() override { return m_active->input(); }
    int commEvent() const override { return m_active->commEvent(); }

private:
    DeviceResolver m_resolveDevice;
    QString m_resolved; // the device of the open in progress or in force
    int m_commPort = 1;
    bool m_opening = false;
    QtSerialPort m_serial;
    NetworkPort m_network;
    SerialPort* m_active = &m_serial;
};

} // namespace tavo
