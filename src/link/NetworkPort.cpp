#include "NetworkPort.h"

#include "OpenFailure.h"

#include <QEventLoop>
#include <QPointer>

#include <optional>
#include <utility>

namespace tavo {
namespace {

// What the socket reads ahead of us: enough for any burst a projector sends, and a
// bound on what a flooding server can make it hold.
constexpr qint64 kReadAheadBytes = 64 * 1024;

} // namespace

NetworkPort::NetworkPort(DeviceResolver resolveDevice, QObject* parent)
    : QObject(parent), m_resolveDevice(std::move(resolveDevice)) {
    for (QTimer* timer : {&m_deadline, &m_settle}) {
        timer->setTimerType(Qt::PreciseTimer);
        timer->setSingleShot(true);
    }
    connect(&m_deadline, &QTimer::timeout, this, &NetworkPort::handleDeadline);
    connect(&m_settle, &QTimer::timeout, this, [this] { finishOpening(true); });
}

NetworkPort::~NetworkPort() {
    m_done = nullptr; // a pending open is not reported: its caller is going away with us
    if (m_wait)
        m_wait->quit();
    if (m_socket) {
        disconnect(m_socket, nullptr, this, nullptr);
        m_socket->abort();
    }
}

void NetworkPort::setSettings(const QString& settings) {
    m_settings = settings;
    // "9600,N,8,1" or "19200,N,8,1": only the speed varies.
    const int speed = settings.section(QLatin1Char(','), 0, 0).toInt();
    m_baud = speed > 0 ? speed : 9600;
}

bool NetworkPort::setCommPort(int port) {
    if (m_state != State::Closed || port < 1 || port > 15)
        return false;
    m_commPort = port;
    return true;
}

bool NetworkPort::opening() const {
    return m_state == State::Connecting || m_state == State::Negotiating ||
           m_state == State::Settling;
}

bool NetworkPort::setPortOpen(bool open) {
    if (open)
        return waitForOpen();
    close();
    return true;
}

bool NetworkPort::waitForOpen() {
    std::optional<bool> outcome;
    QEventLoop wait;
    openAsync([&outcome, &wait](bool opened) {
        outcome = opened;
        wait.quit();
    });
    if (outcome)
        return *outcome;
    const QPointer<NetworkPort> alive(this);
    QEventLoop* const outer = std::exchange(m_wait, &wait);
    wait.exec();
    if (!alive)
        return false; // destroyed while waiting
    m_wait = outer;
    if (!outcome) {
        // The loop was ended from outside (the application quitting): give up the open,
        // whose report would reach this frame after it is gone.
        m_done = nullptr;
        close();
        return false;
    }
    return *outcome;
}

void NetworkPort::openAsync(std::function<void(bool opened)> done) {
    if (m_state == State::Open) {
        done(false);
        return;
    }
    if (opening()) {
        // Asked again from an event handled while the first open waits.
        m_lastOpenError = QStringLiteral("%1 is still connecting.").arg(m_device);
        done(false);
        return;
    }
    m_device = m_resolveDevice(m_commPort);
    QString why;
    if (!parseNetworkAddress(m_device, &m_address, &why)) {
        m_lastOpenError = openFailureText(OpenFailure::BadName, m_device, why);
        done(false);
        return;
    }
    m_lastOpenError.clear();
    m_inbox.clear();
    m_outputSent = false;
    m_done = std::move(done);
    m_socket = new QTcpSocket(this);
    m_socket->setReadBufferSize(kReadAheadBytes);
    connect(m_socket, &QTcpSocket::connected, this, &NetworkPort::handleConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &NetworkPort::handleReadyRead);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &NetworkPort::handleSocketError);
    connect(m_socket, &QTcpSocket::disconnected, this, &NetworkPort::handleDisconnected);
    m_state = State::Connecting;
    m_deadline.start(kOpenTimeoutMs);
    // Last: a failure may be reported from inside, and the report may destroy the port.
    m_socket->connectToHost(m_address.host, m_address.port);
}

// Reports the pending open once; the report is the last thing done here, as
// its receiver may close or destroy the port.
void NetworkPort::finishOpening(bool opened, const QString& failure) {
    if (!opening())
        return;
    m_deadline.stop();
    m_settle.stop();
    if (opened) {
        m_state = State::Open;
    } else {
        m_lastOpenError = failure;
        m_state = State::Closed;
        releaseSocket();
    }
    if (const auto done = std::exchange(m_done, nullptr))
        done(opened);
}

void NetworkPort::close() {
    if (opening()) {
        finishOpening(false, QStringLiteral("The open of %1 was cancelled.").arg(m_device));
        return;
    }
    m_state = State::Closed;
    releaseSocket();
}

void NetworkPort::releaseSocket() {
    m_telnet.reset();
    m_inbox.clear();
    if (!m_socket)
        return;
    disconnect(m_socket, nullptr, this, nullptr);
    m_socket->flush();
    m_socket->abort();
    // This may run inside one of the socket's own signals.
    std::exchange(m_socket, nullptr)->deleteLater();
}

void NetworkPort::startSettling() {
    m_state = State::Settling;
    m_settle.start(kSettleMs);
}

void NetworkPort::handleConnected() {
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (m_address.protocol == NetworkAddress::Protocol::RawTcp) {
        startSettling();
        return;
    }
    m_state = State::Negotiating;
    m_telnet = std::make_unique<Rfc2217Codec>();
    m_telnet->begin(m_baud);
    send(m_telnet->takeAnswers());
}

void NetworkPort::handleReadyRead() {
    const QByteArray chunk = m_socket->readAll();
    QByteArray data = chunk;
    if (m_telnet) {
        data = m_telnet->receive(chunk);
        if (!send(m_telnet->takeAnswers()))
            return; // dropped
        if (m_state == State::Negotiating) {
            if (m_telnet->comPort() == Rfc2217Codec::ComPort::Accepted) {
                startSettling();
            } else if (m_telnet->comPort() == Rfc2217Codec::ComPort::Refused) {
                finishOpening(false,
                              openFailureText(OpenFailure::Other, m_device,
                                              QStringLiteral("The server refuses the RFC 2217 "
                                                             "serial-port option; for a raw TCP "
                                                             "port use tcp://.")));
                return;
            }
        }
        if (m_state == State::Settling && m_telnet->purgeAcknowledged()) {
            finishOpening(true);
            return;
        }
    }
    // Before the first output, whatever comes is left from before this client.
    if (m_state != State::Open || !m_outputSent || data.isEmpty())
        return;
    m_inbox += data;
    m_commEvent = EvReceive;
    raiseOnComm();
}

void NetworkPort::handleSocketError(QAbstractSocket::SocketError error) {
    if (m_state == State::Open) {
        loseLink(m_socket->errorString());
        return;
    }
    OpenFailure kind = OpenFailure::Other;
    QString detail;
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        kind = OpenFailure::ConnectionRefused;
        break;
    case QAbstractSocket::HostNotFoundError:
        kind = OpenFailure::HostNotFound;
        break;
    case QAbstractSocket::SocketTimeoutError:
        kind = OpenFailure::TimedOut;
        break;
    default:
        detail = m_socket->errorString();
        break;
    }
    finishOpening(false, openFailureText(kind, m_device, detail));
}

void NetworkPort::handleDisconnected() {
    const QString reason = QStringLiteral("The server closed the connection.");
    if (m_state == State::Open)
        loseLink(reason);
    else
        finishOpening(false, openFailureText(OpenFailure::Other, m_device, reason));
}

void NetworkPort::handleDeadline() {
    if (m_state == State::Settling) {
        finishOpening(true); // the link is up; only the wait for leftovers ran out
        return;
    }
    finishOpening(false,
                  m_state == State::Connecting
                      ? openFailureText(
                            OpenFailure::TimedOut, m_device,
                            QStringLiteral("No connection within %1 s.").arg(kOpenTimeoutMs / 1000))
                      : openFailureText(OpenFailure::NoRfc2217Answer, m_device));
}

// Writes and pushes `bytes` on; false when the server has left so much unread that
// the link was dropped.
bool NetworkPort::send(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return true;
    m_socket->write(bytes);
    m_socket->flush(); // on its way now rather than at the next loop turn
    if (m_socket->bytesToWrite() <= kMostUnsentBytes)
        return true;
    drop(unreadReason());
    return false;
}

QString NetworkPort::unreadReason() const {
    return QStringLiteral("The server does not read what is sent to it (%1 bytes waiting); "
                          "the connection was dropped.")
        .arg(m_socket->bytesToWrite());
}

void NetworkPort::drop(const QString& reason) {
    if (opening())
        finishOpening(false, openFailureText(OpenFailure::Other, m_device, reason));
    else
        loseLink(reason);
}

// The far end went away or was given up: close once and tell the link once.
void NetworkPort::loseLink(const QString& reason) {
    if (m_state != State::Open)
        return;
    m_linkLostReason = reason;
    close();
    m_commEvent = EvLinkLost;
    raiseOnComm();
}

bool NetworkPort::output(const QByteArray& bytes) {
    if (m_state != State::Open)
        return false;
    const QByteArray wire = m_telnet ? Rfc2217Codec::escape(bytes) : bytes;
    if (m_socket->write(wire) != wire.size())
        return false;
    m_outputSent = true;
    m_socket->flush();
    if (m_socket->bytesToWrite() > kMostUnsentBytes) {
        // Dropped from the loop, not from inside the caller's own output.
        const QPointer<QTcpSocket> socket = m_socket;
        QMetaObject::invokeMethod(
            this,
            [this, socket, reason = unreadReason()] {
                if (socket && socket == m_socket)
                    drop(reason);
            },
            Qt::QueuedConnection);
        return false;
    }
    return true;
}

QByteArray NetworkPort::input() {
    QByteArray waiting;
    waiting.swap(m_inbox);
    return waiting;
}

std::unique_ptr<SerialPort> makeLinkedNetworkPort(NetworkPort::DeviceResolver resolveDevice,
                                                  QString*) {
    return std::make_unique<NetworkPort>(std::move(resolveDevice));
}

} // namespace tavo
