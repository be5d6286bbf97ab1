#pragma once

#include "LinePort.h"
#include "SerialPort.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>

namespace tavo::test {

// A serial port whose wire is a byte array, opened by port number or by device name. Ports
// listed in `missing` and devices in `missingDevices` fail to open; everything written while
// open lands in `wire`.
class FakeSerialPort : public SerialPort, public LinePort {
public:
    void setSettings(const QString& settings) override { m_settings = settings; }
    QString settings() const override { return m_settings; }
    bool setCommPort(int port) override {
        if (m_open || port < 1 || port > 15)
            return false;
        m_port = port;
        return true;
    }
    int commPort() const override { return m_port; }
    bool setPortOpen(bool open) override {
        if (open && (m_open || isMissing()))
            return false;
        m_open = open;
        if (open) {
            ++opens;
            openedWith << QStringLiteral("%1@%2").arg(where(), m_settings);
        }
        return true;
    }
    void open(const QString& device, int baud, std::function<void(bool opened)> done) override {
        m_device = device;
        m_settings = settingsForBaud(baud);
        done(setPortOpen(true));
    }
    void close() override { setPortOpen(false); }
    bool portOpen() const override { return m_open; }
    QString openError() const override {
        return isMissing() ? QStringLiteral("No such file or directory") : QString();
    }
    QString deviceName() const override {
        return m_device.isEmpty() ? QStringLiteral("fake%1").arg(m_port) : m_device;
    }
    void setOnComm(std::function<void()> handler) override {
        SerialPort::setOnComm(std::move(handler));
    }
    bool output(const QByteArray& bytes) override {
        if (!m_open)
            return false;
        wire += bytes;
        writes << bytes;
        return true;
    }
    QByteArray input() override {
        const QByteArray waiting = m_waiting;
        m_waiting.clear();
        return waiting;
    }
    int commEvent() const override { return m_event; }

    // The projector side: bytes arrive and OnComm is raised.
    void receive(const QByteArray& bytes) {
        m_waiting += bytes;
        m_event = EvReceive;
        raiseOnComm();
    }
    // Any other line event.
    void raiseEvent(int event) {
        m_event = event;
        raiseOnComm();
    }
    // The device vanished: the port closes and the link-lost event is raised.
    void hangUp() {
        m_open = false;
        raiseEvent(EvLinkLost);
    }

    QByteArray wire;
    QList<QByteArray> writes;
    QSet<int> missing;
    QSet<QString> missingDevices;
    QStringList openedWith;
    int opens = 0;

private:
    bool isMissing() const { return missing.contains(m_port) || missingDevices.contains(m_device); }
    // The port number, or the device once one was named.
    QString where() const { return m_device.isEmpty() ? QString::number(m_port) : m_device; }

    QString m_device;
    QString m_settings = QStringLiteral("9600,N,8,1");
    int m_port = 1;
    bool m_open = false;
    QByteArray m_waiting;
    int m_event = 0;
};

} // namespace tavo::test
