#pragma once

#include "NetworkAddress.h"
#include "Rfc2217Codec.h"
#include "SerialPort.h"

#include <QObject>
#include <QPointer>
#include <QTcpSocket>

#include <functional>
#include <memory>

class QEventLoop;

namespace tavo {

// The serial component over a serial device server on the network: raw TCP
// ("tcp://host:port") or RFC 2217 ("rfc2217://host:port", which also carries
// the line settings to the far port).
//
// Opening looks synchronous to its callers, as a local device's open does:
// it connects and, for RFC 2217, waits for the server to take the COM-PORT
// option, inside a local event loop of at most kOpenTimeoutMs. The UI thread
// keeps painting and handling input meanwhile; a second open, an output or a
// close during that wait is refused, answered false, or cancels the open. A
// dropped connection is a lost link, reported once.
class NetworkPort : public QObject, public SerialPort {
    Q_OBJECT

public:
    using DeviceResolver = std::function<QString(int port)>;
    static constexpr int kOpenTimeoutMs = 3000;

    explicit NetworkPort(DeviceResolver resolveDevice, QObject* parent = nullptr);
    ~NetworkPort() override;

    void setSettings(const QString& settings) override;
    QString settings() const override { return m_settings; }
    bool setCommPort(int port) override;
    int commPort() const override { return m_commPort; }
    bool setPortOpen(bool open) override;
    bool portOpen() const override { return m_state == State::Open; }
    QString openError() const override { return m_lastOpenError; }
    QString deviceName() const override { return m_device; }
    bool output(const QByteArray& bytes) override;
    QByteArray input() override;
    int commEvent() const override { return m_commEvent; }

private:
    enum class State { Closed, Connecting, Negotiating, Open };

    bool open();
    void close();
    void finishOpening(State outcome, const QString& failure = {});
    void handleConnected();
    void handleReadyRead();
    void handleSocketError(QAbstractSocket::SocketError error);
    void handleDisconnected();
    void loseLink();

    DeviceResolver m_resolveDevice;
    QString m_settings = QStringLiteral("9600,N,8,1");
    int m_baud = 9600;
    int m_commPort = 1;
    int m_commEvent = 0;
    QString m_device;
    QString m_lastOpenError;
    NetworkAddress m_address;
    State m_state = State::Closed;
    std::unique_ptr<QTcpSocket> m_socket;
    std::unique_ptr<Rfc2217Codec> m_telnet;
    QEventLoop* m_wait = nullptr;
    QByteArray m_inbox;
    // Lets an open waiting in its local loop notice that the port was destroyed.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

// For AnyDevicePort: network ports from this library, linked into the program (the command-line
// tool and the tests; the console loads them as a plugin instead).
std::unique_ptr<SerialPort> makeLinkedNetworkPort(NetworkPort::DeviceResolver resolveDevice,
                                                  QString* why);

} // namespace tavo
