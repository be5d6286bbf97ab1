#pragma once

#include "PeerAllowList.h"

#include <QHostAddress>
#include <QObject>

#include <vector>

namespace tavo::gateway {
class Gateway;
}

namespace tavo::gateway::share {

class ShareServer;

// Every line of the site shared (ShareServer), each on a port of its own: a section's
// share_port, else `basePort` plus the line's place among the site's lines (0: any free port).
class ShareFront : public QObject {
    Q_OBJECT

public:
    // A client must finish each command this long after its first byte.
    static constexpr int kCommandDeadlineMs = 5000;
    static constexpr quint16 kDefaultBasePort = 4001;

    struct Options {
        QHostAddress address = QHostAddress::LocalHost;
        quint16 basePort = kDefaultBasePort;
        PeerAllowList allow;
        int deadlineMs = kCommandDeadlineMs;
    };

    ShareFront(Gateway& gateway, Options options, QObject* parent = nullptr);
    ~ShareFront() override;

    // Listens for every line, or for none (false, `error` naming the line).
    bool listen(QString* error);
    // The port of a line; 0 before listen().
    quint16 portOf(int line) const;

private:
    Gateway& m_gateway;
    Options m_options;
    std::vector<ShareServer*> m_servers;
};

} // namespace tavo::gateway::share
