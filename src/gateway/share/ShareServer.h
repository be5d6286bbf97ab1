#pragma once

#include "PeerAllowList.h"

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

namespace tavo::gateway {
class Gateway;
}

namespace tavo::gateway::share {

// One line of the site lent on a TCP port as raw bytes, arbitrated by the gateway: each client
// is a ShareClient. A client from a network the allow list does not name, or past
// kMaxClients, is closed at once, and the refusal audited.
class ShareServer : public QObject {
    Q_OBJECT

public:
    static constexpr int kMaxClients = 16;

    ShareServer(Gateway& gateway, QString line, PeerAllowList allow, int deadlineMs,
                QObject* parent = nullptr);

    // False with the reason in `error`.
    bool listen(const QHostAddress& address, quint16 port, QString* error);
    quint16 port() const { return m_server.serverPort(); }
    const QString& line() const { return m_line; }
    int clients() const { return m_clients; }
    // The line left the site: every client is closed (told why), and no one else is taken.
    void close(const QString& why);

private:
    void accept();

    Gateway& m_gateway;
    QString m_line;
    PeerAllowList m_allow;
    int m_deadlineMs;
    QTcpServer m_server;
    int m_clients = 0;
};

} // namespace tavo::gateway::share
