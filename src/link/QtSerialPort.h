#pragma once

#include "SerialPort.h"

#include <QObject>
#include <QSerialPort>

#include <functional>

namespace tavo {

// The serial component over QSerialPort. `resolveDevice` maps a port number
// to a device name ("COM3" on Windows, a path elsewhere).
class QtSerialPort : public QObject, public SerialPort {
    Q_OBJECT

public:
    using DeviceResolver = std::function<QString(int port)>;

    explicit QtSerialPort(DeviceResolver resolveDevice, QObject* parent = nullptr);
    ~QtSerialPort() override;

    void setSettings(const QString& settings) override;
    QString settings() const override { return m_settings; }
    bool setCommPort(int port) override;
    int commPort() const override { return m_commPort; }
    bool setPortOpen(bool open) override;
    bool portOpen() const override { return m_port.isOpen(); }
    bool output(const QByteArray& bytes) override;
    QByteArray input() override;
    int commEvent() const override { return m_commEvent; }

    QString openError() const override { return m_lastOpenError; }
    QString deviceName() const override { return m_device; }

private:
    void handleReadyRead();
    void handleError(QSerialPort::SerialPortError error);

    DeviceResolver m_resolveDevice;
    QSerialPort m_port;
    QString m_settings = QStringLiteral("9600,N,8,1");
    int m_commPort = 1;
    int m_commEvent = 0;
    QString m_device;
    QString m_lastOpenError;
};

} // namespace tavo
