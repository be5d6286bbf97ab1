#pragma once

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

namespace tavo::gateway::share {

// The networks whose clients a share admits: loopback alone unless told otherwise.
class PeerAllowList {
public:
    PeerAllowList();
    // "CIDR[,CIDR...]" (an address alone is that host); nothing, with `error`, for a malformed
    // one. The list replaces loopback: name 127.0.0.0/8 again to keep it.
    static std::optional<PeerAllowList> parse(const QString& text, QString* error);

    // An IPv4 peer reached through an IPv6 socket (::ffff:a.b.c.d) counts as its IPv4 address.
    bool admits(const QHostAddress& peer) const;
    QString toString() const;

private:
    QList<QPair<QHostAddress, int>> m_subnets;
};

} // namespace tavo::gateway::share
