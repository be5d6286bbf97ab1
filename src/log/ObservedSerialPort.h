#pragma once

#include "SerialPort.h"

namespace tavo {

class TrafficObserver;

// The serial component with a witness: forwards every member to the real one
// and tells the observer what went over the line and how the port fared.
class ObservedSerialPort : public SerialPort {
public:
    explicit ObservedSerialPort(SerialPort& port);

    // None by default; then this is a plain pass-through.
    void setObserver(TrafficObserver* observer) { m_observer = observer; }

    void setSettings(const QString& settings) override { m_port.setSettings(settings); }
    QString settings() const override { return m_port.settings(); }
    bool setCommPort(int port) override { return m_port.setCommPort(port); }
    int commPort() const override { return m_port.commPort(); }
    bool setPortOpen(bool open) override;
    // Close the real port before destroying this one while an open is pending.
    void openAsync(std::function<void(bool opened)> done) override;
    bool portOpen() const override { return m_port.portOpen(); }
    QString openError() const override { return m_port.openError(); }
    QString deviceName() const override { return m_port.deviceName(); }
    bool output(const QByteArray& bytes) override;
    QByteArray input() override;
    int commEvent() const override { return m_port.commEvent(); }

private:
    void reportOpen(bool open, bool wasOpen, bool succeeded);
    void handleOnComm();

    SerialPort& m_port;
    TrafficObserver* m_observer = nullptr;
};

} // namespace tavo
