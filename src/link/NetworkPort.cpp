#include "NetworkPort.h"

#include "OpenFailure.h"

#include <QEventLoop>
#include <QTimer>

namespace tavo {

NetworkPort::NetworkPort(DeviceResolver resolveDevice, QObject* parent)
    : QObject(parent), m_resolveDevice(std::move(resolveDevice)) {}

NetworkPort::~NetworkPort() {
    *m_alive = false;
    if (m_wait)
        m_wait->quit();
    if (m_socket) {
        disconnect(m_socket.get(), nullptr, this, nullptr);
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

bool NetworkPort::setPortOpen(bool open) {
    if (open)
        return this->open();
    close();
    return true;
}

bool NetworkPort::open() {
    if (m_state == State::Open)
        return false;
    if (m_state != State::Closed) {
        // Asked again from an event handled while the first open waits.
        m_lastOpenError = QStringLiteral("%1 is still connecting.").arg(m_device);
        return false;
    }
    m_device = m_resolveDevice(m_commPort);
    QString why;
    if (!parseNetworkAddress(m_device, &m_address, &why)) {
        m_lastOpenError = openFailureText(OpenFailure::BadName, m_device, why);
        return false;
    }
    m_lastOpenError.clear();
    m_inbox.clear();
    // A child, so a socket still waiting for its deferred delete goes with the port.
    m_socket = std::make_unique<QTcpSocket>(this);
    connect(m_socket.get(), &QTcpSocket::connected, this, &NetworkPort::handleConnected);
    connect(m_socket.get(), &QTcpSocket::readyRead, this, &NetworkPort::handleReadyRead);
    connect(m_socket.get(), &QTcpSocket::errorOccurred, this, &NetworkPort::handleSocketError);
    connect(m_socket.get(), &QTcpSocket::disconnected, this, &NetworkPort::handleDisconnected);
    m_state = State::Connecting;
    m_socket->connectToHost(m_address.host, m_address.port);

    QEventLoop wait;
    QTimer deadline;
    deadline.setTimerType(Qt::PreciseTimer);
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, this, [this] {
        finishOpening(
            State::Closed,
            m_state == State::Connecting
                ? openFailureText(
                      OpenFailure::TimedOut, m_device,
                      QStringLiteral("No connection within %1 s.").arg(kOpenTimeoutMs / 1000))
                : openFailureText(OpenFailure::TimedOut, m_device,
                                  QStringLiteral("The server did not take up the "
                                                 "RFC 2217 serial-port option; for "
                                                 "a raw TCP port use tcp://.")));
    });
    deadline.start(kOpenTimeoutMs);
    const std::shared_ptr<bool> alive = m_alive;
    if (m_state != State::Closed && m_state != State::Open) {
        m_wait = &wait;
        wait.exec();
    }
    if (!*alive)
        return false; // destroyed while waiting
    m_wait = nullptr;
    return m_state == State::Open;
}

void NetworkPort::finishOpening(State outcome, const QString& failure) {
    if (m_state != State::Connecting && m_state != State::Negotiating)
        return;
    if (outcome == State::Open) {
        m_state = State::Open;
    } else {
        m_lastOpenError = failure;
        close();
    }
    if (m_wait)
        m_wait->quit();
}

void NetworkPort::close() {
    const bool opening = m_state == State::Connecting || m_state == State::Negotiating;
    m_state = State::Closed;
    m_telnet.reset();
    m_inbox.clear();
    if (m_socket) {
        disconnect(m_socket.get(), nullptr, this, nullptr);
        m_socket->flush();
        m_socket->abort();
        // This may run inside one of the socket's own signals.
        m_socket.release()->deleteLater();
    }
    if (opening) {
        if (m_lastOpenError.isEmpty())
            m_lastOpenError = QStringLiteral("The open of %1 was cancelled.").arg(m_device);
        if (m_wait)
            m_wait->quit();
    }
}

void NetworkPort::handleConnected() {
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (m_address.protocol == NetworkAddress::Protocol::RawTcp) {
        finishOpening(State::Open);
        return;
    }
    m_state = State::Negotiating;
    m_telnet = std::make_unique<Rfc2217Codec>([this](const QByteArray& bytes) {
        if (m_socket) {
            m_socket->write(bytes);
            m_socket->flush();
        }
    });
    m_telnet->begin(m_baud);
}

void NetworkPort::handleReadyRead() {
    const QByteArray chunk = m_socket->readAll();
    const QByteArray data = m_telnet ? m_telnet->receive(chunk) : chunk;
    if (m_state == State::Negotiating) {
        // Data before the option is settled belongs to nobody, as bytes that
        // reach a local device before its open.
        if (m_telnet->comPort() == Rfc2217Codec::ComPort::Accepted)
            finishOpening(State::Open);
        else if (m_telnet->comPort() == Rfc2217Codec::ComPort::Refused)
            finishOpening(State::Closed,
                          openFailureText(OpenFailure::Other, m_device,
                                          QStringLiteral("The server refuses the RFC 2217 "
                                                         "serial-port option; for a raw TCP "
                                                         "port use tcp://.")));
        return;
    }
    if (m_state != State::Open || data.isEmpty())
        return;
    m_inbox += data;
    m_commEvent = EvReceive;
    raiseOnComm();
}

void NetworkPort::handleSocketError(QAbstractSocket::SocketError error) {
    if (m_state == State::Open) {
        loseLink();
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
    finishOpening(State::Closed, openFailureText(kind, m_device, detail));
}

void NetworkPort::handleDisconnected() {
    if (m_state == State::Open)
        loseLink();
    else
        finishOpening(State::Closed,
                      openFailureText(OpenFailure::Other, m_device,
                                      QStringLiteral("The server closed the connection.")));
}

// The far end went away: close once and tell the link once.
void NetworkPort::loseLink() {
    if (m_state != State::Open)
        return;
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
    m_socket->flush(); // on its way now rather than at the next loop turn
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
