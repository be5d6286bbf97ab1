#pragma once

#include <QTcpServer>

namespace tavo::gateway {

// The HTTP server's listening socket, with the bounds Qt HTTP Server 6.4 does not keep itself
// (it buffers a whole request, however long, before anyone sees it):
// - at most `maxConnections` at once; more are closed as they come;
// - a request longer than `requestLimit` bytes (headers and body) is answered 413 and its
//   connection closed, and no connection buffers more than that;
// - a connection with no traffic for `idleMs` is closed.
class GuardedTcpServer : public QTcpServer {
    Q_OBJECT

public:
    struct Limits {
        int maxConnections = 64;
        qint64 requestLimit = 16 * 1024;
        int idleMs = 30000;
    };

    explicit GuardedTcpServer(Limits limits, QObject* parent = nullptr);

    int connections() const { return m_connections; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void watch(QTcpSocket* socket);

    Limits m_limits;
    int m_connections = 0;
};

} // namespace tavo::gateway
