#include "GuardedTcpServer.h"

#include <QTcpSocket>

#include <algorithm>

namespace tavo::gateway {

GuardedTcpServer::GuardedTcpServer(Limits limits, QObject* parent)
    : QTcpServer(parent), m_limits(limits) {}

void GuardedTcpServer::incomingConnection(qintptr descriptor) {
    auto* socket = new QTcpSocket;
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
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
