#pragma once

#include "LinePort.h"
#include "QtSerialPort.h"

#include <functional>
#include <memory>

namespace tavo {

// The serial component the program uses: at each open it resolves the port
// number and hands the work to a local serial device (a path such as
// /dev/ttyUSB0) or to a serial device server on the network
// ("tcp://host:port", "rfc2217://host:port"). The network port is made when a network device
// is first opened, so a program that never names one never loads the network code. The console
// names the device by its port number; programs that know their device open it by name.
class AnyDevicePort : public QObject, public SerialPort, public LinePort {
    Q_OBJECT

public:
    using DeviceResolver = std::function<QString(int port)>;
    // Makes the port for network devices; nullptr, with the reason in *why, when it cannot.
    using NetworkPortMaker =
        std::function<std::unique_ptr<SerialPort>(DeviceResolver resolveDevice, QString* why)>;

    AnyDevicePort(DeviceResolver resolveDevice, NetworkPortMaker makeNetworkPort,
                  QObject* parent = nullptr);
    // For programs that name the device at each open: the port number names nothing.
    explicit AnyDevicePort(NetworkPortMaker makeNetworkPort, QObject* parent = nullptr);
    ~AnyDevicePort() override;

    void setSettings(const QString& settings) override;
    QString settings() const override { return m_active->settings(); }
    bool setCommPort(int port) override;
    int commPort() const override { return m_commPort; }
    bool setPortOpen(bool open) override;
    // A local device opens at once; a network one reports when its server has answered.
    void openAsync(std::function<void(bool opened)> done) override;
    bool portOpen() const override { return m_active->portOpen(); }
    QString openError() const override;
    QString deviceName() const override;
    bool output(const QByteArray& bytes) override { return m_active->output(bytes); }
    QByteArray input() override { return m_active->input(); }
    int commEvent() const override { return m_active->commEvent(); }

    void open(const QString& device, int baud, std::function<void(bool opened)> done) override;
    void close() override { setPortOpen(false); }
    void setOnComm(std::function<void()> handler) override {
        SerialPort::setOnComm(std::move(handler));
    }

private:
    bool makeNetworkPort();
    // Picks the port that serves `device`; false when none can.
    bool chooseForOpen(const QString& device);
    // The device the console's port number names (the last one opened without a resolver).
    QString resolvedDevice() const;
    void openChosen(std::function<void(bool opened)> done);

    DeviceResolver m_resolveDevice;
    NetworkPortMaker m_makeNetworkPort;
    QString m_resolved;    // the device of the open in progress or in force
    QString m_unavailable; // why the last open could not even be tried
    int m_commPort = 1;
    bool m_opening = false;
    QtSerialPort m_serial;
    std::unique_ptr<SerialPort> m_network;
    SerialPort* m_active = &m_serial;
};

} // namespace tavo
