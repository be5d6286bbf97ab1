#pragma once

#include "HttpConnection.h"

#include <QTcpServer>

#include <list>

namespace tavo::gateway {

// The HTTP server's listening socket, with the bounds Qt HTTP Server 6.4 does not keep itself
// (it buffers a whole request, however long, before anyone sees it, and answers pipelined
// requests in the order its handlers finish). Each client goes through an HttpConnection, which
// hands the server one request at a time and keeps the limits there. At most `maxConnections`
// clients at once: a client past it takes the place of the one that has waited longest for a
// whole request (a client that trickles its head, or an idle one between requests), and is
// closed only when every place holds one whose request is being answered.
class GuardedTcpServer : public QTcpServer {
    Q_OBJECT

public:
    struct Limits {
        int maxConnections = 64;
        HttpConnection::Limits connection;
    };

    explicit GuardedTcpServer(Limits limits, QObject* parent = nullptr);

    int connections() const { return int(m_open.size()); }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void makeRoom();

    Limits m_limits;
    std::list<HttpConnection*> m_open;
};

} // namespace tavo::gateway
