#pragma once

#include "NetworkAddress.h"
#include "Rfc2217Codec.h"
#include "SerialPort.h"

#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include <functional>
#include <memory>

class QEventLoop;

namespace tavo {

// The serial component over a serial device server on the network: raw TCP
// ("tcp://host:port") or RFC 2217 ("rfc2217://host:port", which also carries
// the line settings to the far port).
//
// openAsync() connects and, for RFC 2217, waits for the server to take the
// COM-PORT option, all within kOpenTimeoutMs, and reports once. Closing the port
// while an open is pending reports it failed ("cancelled") at once; destroying
// the port reports nothing. setPortOpen(true) is the same open waited for in a
// local event loop, for callers that expect a local device's open: the UI thread
// keeps painting and handling input meanwhile, and a second open, an output or a
// port change during the wait is refused.
//
// A device server may hold what the line sent before this connection (a reply to
// an earlier client). That is not this client's: what arrives before the port
// reports open, or before the first output, is dropped, and RFC 2217 servers are
// asked to purge it. A server that does not read what is sent to it is dropped
// once kMostUnsentBytes wait; a dropped connection is a lost link, reported once.
class NetworkPort : public QObject, public SerialPort {
    Q_OBJECT

public:
    using DeviceResolver = std::function<QString(int port)>;
    static constexpr int kOpenTimeoutMs = 3000;
    // After the link is up, how long arriving bytes still count as the server's leftovers
    // (cut short by an RFC 2217 server's acknowledgement of the purge).
    static constexpr int kSettleMs = 100;
    // Far above anything a console sends or answers; a peer that leaves this much
    // unread is not reading.
    static constexpr qint64 kMostUnsentBytes = 64 * 1024;

    explicit NetworkPort(DeviceResolver resolveDevice, QObject* parent = nullptr);
    ~NetworkPort() override;

    void setSettings(const QString& settings) override;
    QString settings() const override { return m_settings; }
    bool setCommPort(int port) override;
    int commPort() const override { return m_commPort; }
    bool setPortOpen(bool open) override;
    void openAsync(std::function<void(bool opened)> done) override;
    bool portOpen() const override { return m_state == State::Open; }
    QString openError() const override { return m_lastOpenError; }
    QString deviceName() const override { return m_device; }
    bool output(const QByteArray& bytes) override;
    QByteArray input() override;
    int commEvent() const override { return m_commEvent; }
    // Why the most recent lost link was lost, in words for the operator.
    QString linkLostReason() const { return m_linkLostReason; }

private:
    enum class State { Closed, Connecting, Negotiating, Settling, Open };

    bool opening() const;
    bool waitForOpen();
    void close();
    void finishOpening(bool opened, const QString& failure = {});
    void releaseSocket();
    void startSettling();
    void handleConnected();
    void handleReadyRead();
    void handleSocketError(QAbstractSocket::SocketError error);
    void handleDisconnected();
    void handleDeadline();
    bool send(const QByteArray& bytes);
    QString unreadReason() const;
    void drop(const QString& reason);
    void loseLink(const QString& reason);

    DeviceResolver m_resolveDevice;
    QString m_settings = QStringLiteral("9600,N,8,1");
    int m_baud = 9600;
    int m_commPort = 1;
    int m_commEvent = 0;
    QString m_device;
    QString m_lastOpenError;
    QString m_linkLostReason;
    NetworkAddress m_address;
    State m_state = State::Closed;
    // A child: the port owns it, and one released inside its own signal waits for its
    // deferred delete without outliving the port.
    QTcpSocket* m_socket = nullptr;
    std::unique_ptr<Rfc2217Codec> m_telnet;
    QTimer m_deadline;
    QTimer m_settle;
    std::function<void(bool opened)> m_done;
    QEventLoop* m_wait = nullptr;
    bool m_outputSent = false;
    QByteArray m_inbox;
};

// For AnyDevicePort: network ports from this library, linked into the program (the command-line
// tool and the tests; the console loads them as a plugin instead).
std::unique_ptr<SerialPort> makeLinkedNetworkPort(NetworkPort::DeviceResolver resolveDevice,
                                                  QString* why);

} // namespace tavo
