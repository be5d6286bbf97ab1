#include "GuardedTcpServer.h"

#include <QSslSocket>

#include <algorithm>

namespace tavo::gateway {

GuardedTcpServer::GuardedTcpServer(Limits limits, QObject* parent)
    : QTcpServer(parent), m_limits(limits) {}

void GuardedTcpServer::incomingConnection(qintptr descriptor) {
    // With TLS, the connection reads and writes plain text and the socket does the rest; a
    // client that never finishes its handshake meets the connection's idle time-out.
    QTcpSocket* socket = m_limits.tls ? new QSslSocket : new QTcpSocket;
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (auto* tls = qobject_cast<QSslSocket*>(socket)) {
        tls->setSslConfiguration(*m_limits.tls);
        connect(tls, &QSslSocket::sslErrors, tls, [tls] { tls->abort(); });
        tls->startServerEncryption();
    }
    if (connections() >= m_limits.maxConnections)
        makeRoom();
    if (connections() >= m_limits.maxConnections) {
        socket->abort();
        delete socket;
        return;
    }
    auto* connection = new HttpConnection(socket, m_limits.connection, this, this);
    if (!connection->serverSide()) {
        delete connection; // no descriptors left for the pair
        return;
    }
    m_open.push_back(connection);
    connect(connection, &QObject::destroyed, this,
            [this, connection] { m_open.remove(connection); });
    addPendingConnection(connection->serverSide());
}

void GuardedTcpServer::makeRoom() {
    HttpConnection* longest = nullptr;
    for (HttpConnection* c : m_open) {
        if (c->waitingForClient() && (!longest || c->waitedMs() > longest->waitedMs()))
            longest = c;
    }
    if (!longest)
        return;
    m_open.remove(longest); // counted out now: its socket closes as the event loop runs
    longest->drop();
}

} // namespace tavo::gateway
