#include "GuardedTcpServer.h"

#include <QTcpSocket>
#include <QTimer>

namespace tavo::gateway {

GuardedTcpServer::GuardedTcpServer(Limits limits, QObject* parent)
    : QTcpServer(parent), m_limits(limits) {}

void GuardedTcpServer::incomingConnection(qintptr descriptor) {
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (m_connections >= m_limits.maxConnections) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    ++m_connections;
    connect(socket, &QObject::destroyed, this, [this] { --m_connections; });
    watch(socket);
    addPendingConnection(socket);
}

// Connected before the HTTP server's own handler, so this runs first on every arrival. The
// server reads each request inside a socket transaction that it commits once the request is
// whole: a transaction not yet started means a new request.
void GuardedTcpServer::watch(QTcpSocket* socket) {
    socket->setReadBufferSize(m_limits.requestLimit + 1);

    auto* idle = new QTimer(socket);
    idle->setTimerType(Qt::PreciseTimer);
    idle->setSingleShot(true);
    idle->setInterval(m_limits.idleMs);
    connect(idle, &QTimer::timeout, socket, [socket] { socket->abort(); });
    connect(socket, &QTcpSocket::bytesWritten, idle, qOverload<>(&QTimer::start));
    idle->start();

    auto received = std::make_shared<qint64>(0);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, idle, received] {
        idle->start();
        if (!socket->isTransactionStarted())
            *received = 0;
        *received += socket->bytesAvailable();
        if (*received <= m_limits.requestLimit)
            return;
        // Taken from the HTTP server: it sees nothing more of this connection.
        disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
        if (socket->isTransactionStarted())
            socket->commitTransaction();
        socket->readAll();
        connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
        const QByteArray body = "the request is too long\n";
        socket->write("HTTP/1.1 413 Payload Too Large\r\nContent-Type: text/plain\r\n"
                      "Connection: close\r\nContent-Length: " +
                      QByteArray::number(body.size()) + "\r\n\r\n" + body);
        socket->disconnectFromHost();
    });
}

} // namespace tavo::gateway
