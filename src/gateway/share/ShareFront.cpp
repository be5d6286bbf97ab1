#include "ShareFront.h"

#include "ShareServer.h"

#include "Gateway.h"

namespace tavo::gateway::share {

ShareFront::ShareFront(Gateway& gateway, Options options, QObject* parent)
    : QObject(parent), m_gateway(gateway), m_options(std::move(options)) {}

ShareFront::~ShareFront() = default;

bool ShareFront::listen(QString* error) {
    qDeleteAll(m_servers);
    m_servers.clear();
    for (int line = 0; line < m_gateway.lineCount(); ++line) {
        const ProjectorConfig& first = m_gateway.projector(m_gateway.projectorsOn(line).first());
        const int port = first.sharePort      ? *first.sharePort
                         : m_options.basePort ? m_options.basePort + line
                                              : 0;
        auto* server =
            new ShareServer(m_gateway, line, m_options.allow, m_options.deadlineMs, this);
        m_servers.push_back(server);
        QString why;
        if (port > 65535 || !server->listen(m_options.address, quint16(port), &why)) {
            if (error)
                *error = QStringLiteral("%1 (%2): %3")
                             .arg(first.target, first.name,
                                  port > 65535 ? QStringLiteral("port %1 is out of range").arg(port)
                                               : why);
            qDeleteAll(m_servers);
            m_servers.clear();
            return false;
        }
    }
    return true;
}

quint16 ShareFront::portOf(int line) const {
    return line >= 0 && line < int(m_servers.size()) ? m_servers[size_t(line)]->port() : 0;
}

} // namespace tavo::gateway::share
