#include "ShareFront.h"

#include "ShareServer.h"

#include "Gateway.h"

#include <QSet>

namespace tavo::gateway::share {

ShareFront::ShareFront(Gateway& gateway, Options options, QObject* parent)
    : QObject(parent), m_gateway(gateway), m_options(std::move(options)) {}

ShareFront::~ShareFront() = default;

std::optional<int> ShareFront::ownPort(const QString& line) const {
    const QList<int> on = m_gateway.projectorsOn(line);
    return on.isEmpty() ? std::nullopt : m_gateway.projector(on.first()).sharePort;
}

bool ShareFront::open(const QString& line, int port, QString* error) {
    auto* server = new ShareServer(m_gateway, line, m_options.allow, m_options.deadlineMs, this);
    QString why;
    if (port > 65535 || !server->listen(m_options.address, quint16(port), &why)) {
        const QList<int> on = m_gateway.projectorsOn(line);
        *error = QStringLiteral("%1 (%2): %3")
                     .arg(line, on.isEmpty() ? QString() : m_gateway.projector(on.first()).name,
                          port > 65535 ? QStringLiteral("port %1 is out of range").arg(port) : why);
        delete server;
        return false;
    }
    m_servers[line] = server;
    return true;
}

void ShareFront::close(ShareServer* server, const QString& why) {
    server->close(why);
    server->deleteLater(); // its clients go with it once they have closed
}

bool ShareFront::listen(QString* error) {
    for (auto& [line, server] : m_servers)
        delete server;
    m_servers.clear();
    const QStringList lines = m_gateway.lines();
    for (int place = 0; place < lines.size(); ++place) {
        const int port =
            ownPort(lines[place]).value_or(m_options.basePort ? m_options.basePort + place : 0);
        QString why;
        if (!open(lines[place], port, &why)) {
            if (error)
                *error = why;
            for (auto& [line, server] : m_servers)
                delete server;
            m_servers.clear();
            return false;
        }
    }
    return true;
}

QStringList ShareFront::takeSiteChange() {
    const QStringList lines = m_gateway.lines();
    for (auto it = m_servers.begin(); it != m_servers.end();) {
        const std::optional<int> own = ownPort(it->first);
        if (!lines.contains(it->first)) {
            close(it->second, QStringLiteral("closed: the line left the site"));
        } else if (own && *own != it->second->port()) {
            close(it->second,
                  QStringLiteral("closed: the line is shared on port %1 now").arg(*own));
        } else {
            ++it;
            continue;
        }
        it = m_servers.erase(it);
    }
    // A new line's place-given port must not be one a kept line holds or another line names.
    QSet<int> taken;
    for (const auto& [line, server] : m_servers)
        taken.insert(server->port());
    for (const QString& line : lines)
        if (const auto own = ownPort(line))
            taken.insert(*own);
    QStringList problems;
    for (int place = 0; place < lines.size(); ++place) {
        const QString& line = lines[place];
        if (m_servers.count(line))
            continue;
        int port = 0;
        if (const auto own = ownPort(line)) {
            port = *own;
        } else if (m_options.basePort) {
            port = m_options.basePort + place;
            while (taken.contains(port))
                ++port;
            taken.insert(port);
        }
        QString why;
        if (!open(line, port, &why))
            problems << why;
    }
    return problems;
}

quint16 ShareFront::portOf(const QString& line) const {
    const auto it = m_servers.find(line);
    return it == m_servers.end() ? 0 : it->second->port();
}

QList<QPair<QString, quint16>> ShareFront::shares() const {
    QList<QPair<QString, quint16>> shares;
    for (const QString& line : m_gateway.lines())
        if (const quint16 port = portOf(line))
            shares << qMakePair(line, port);
    return shares;
}

} // namespace tavo::gateway::share
