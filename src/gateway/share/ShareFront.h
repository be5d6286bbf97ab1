#pragma once

#include "PeerAllowList.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QStringList>

#include <map>
#include <optional>

namespace tavo::gateway {
class Gateway;
}

namespace tavo::gateway::share {

class ShareServer;

// Every line of the site shared (ShareServer), each on a port of its own: the line's share_port
// (the gateway fills in the remembered one of a line without its own), else `basePort` plus the
// line's place among the site's lines (0: any free port). A line keeps its port, server and
// clients for as long as the site has it.
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
    // After the gateway took a reload: a line that stays keeps its server (a changed share_port
    // moves it), a new line is shared on its share_port, else on its place's port unless a kept
    // line holds that, then on the next free one; a removed line's clients are closed. What
    // could not listen, for the log.
    QStringList takeSiteChange();
    // The port a line is shared on; 0 when it is not.
    quint16 portOf(const QString& line) const;
    // Each shared line and its port, in the site's order.
    QList<QPair<QString, quint16>> shares() const;

private:
    // The line's own share_port, if its sections give one.
    std::optional<int> ownPort(const QString& line) const;
    bool open(const QString& line, int port, QString* error);
    void close(ShareServer* server, const QString& why);

    Gateway& m_gateway;
    Options m_options;
    std::map<QString, ShareServer*> m_servers; // by line
};

} // namespace tavo::gateway::share
