#include "ShareServer.h"

#include "ShareClient.h"

#include "Gateway.h"

#include <QTcpSocket>

namespace tavo::gateway::share {

ShareServer::ShareServer(Gateway& gateway, QString line, PeerAllowList allow, int deadlineMs,
                         QObject* parent)
    : QObject(parent), m_gateway(gateway), m_line(std::move(line)), m_allow(std::move(allow)),
      m_deadlineMs(deadlineMs) {
    connect(&m_server, &QTcpServer::newConnection, this, &ShareServer::accept);
}

bool ShareServer::listen(const QHostAddress& address, quint16 port, QString* error) {
    if (m_server.listen(address, port))
        return true;
    if (error)
        *error = QStringLiteral("cannot listen on %1 port %2: %3")
                     .arg(address.toString())
                     .arg(port)
                     .arg(m_server.errorString());
    return false;
}

void ShareServer::close(const QString& why) {
    m_server.close();
    for (ShareClient* client : findChildren<ShareClient*>(Qt::FindDirectChildrenOnly))
        client->drop(why);
}

void ShareServer::accept() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        const QHostAddress peer = socket->peerAddress();
        QString why;
        if (!m_allow.admits(peer))
            why = QStringLiteral("closed: %1 is not in the allowed networks (%2)")
                      .arg(peer.toString(), m_allow.toString());
        else if (m_clients >= kMaxClients)
            why = QStringLiteral("closed: %1 clients already share this line").arg(kMaxClients);
        if (!why.isEmpty()) {
            m_gateway.audit().refused(
                {QStringLiteral("share"),
                 QStringLiteral("%1:%2").arg(peer.toString()).arg(socket->peerPort()),
                 {}},
                {}, {}, why);
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++m_clients;
        auto* client = new ShareClient(socket, m_gateway, m_line, m_deadlineMs, this);
        connect(client, &ShareClient::closed, this, [this] { --m_clients; });
    }
}

} // namespace tavo::gateway::share
