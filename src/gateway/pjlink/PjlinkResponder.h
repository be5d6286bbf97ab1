#pragma once

#include "PjlinkInputMap.h"
#include "PjlinkRequest.h"

#include "AuditLog.h"
#include "ProjectorCommand.h"

#include <QByteArray>
#include <QObject>

#include <functional>
#include <optional>

namespace tavo {
struct Exchange;
}

namespace tavo::gateway {
class Gateway;
}

namespace tavo::gateway::pjlink {

// A section's pjlink_inputs, read by the shared site reader.
using InputMap = site::PjlinkInputMap;

// PJLink's commands for one projector of the site, Class 1 and what of Class 2 it can answer.
// Queries are answered from the gateway's latest poll; a set goes on the projector's line and is
// answered once the projector acknowledged it (OK) or did not (ERR4). Shared by every client
// of the projector's port.
class Responder : public QObject {
    Q_OBJECT

public:
    using Reply = std::function<void(const QByteArray& answer)>;

    Responder(Gateway& gateway, int index, InputMap inputs, QObject* parent = nullptr);

    // `reply` runs exactly once: before handle() returns for a query, later for a set. A set
    // is in the audit log under `client` (the peer), done or refused.
    void handle(const Request& request, const QString& client, const Reply& reply);
    void handle(const Request& request, const Reply& reply) { handle(request, {}, reply); }

    // A reload moved the projector to another place in the site.
    void setIndex(int index) { m_index = index; }

    // A client's password digest was wrong or missing: in the audit log.
    void digestFailed(const QString& client, const QByteArray& line);

private:
    void dispatch(const Request& request, const Reply& reply);
    void power(const Request& request, const Reply& reply);
    void input(const Request& request, const Reply& reply);
    void mute(const Request& request, const Reply& reply);
    void inputName(const Request& request, const Reply& reply);
    std::optional<QByteArray> query(const QByteArray& command) const;
    // Sends the projector's command; OK once it acknowledged.
    void send(const ProjectorCommand& command, const Request& request, const Reply& reply,
              std::function<void()> accepted = {});

    Gateway& m_gateway;
    int m_index;
    InputMap m_inputs;
    // The poll does not read the video mute: it is read once, then kept as PJLink sets it.
    std::optional<bool> m_videoMute;
    // The set being handled, for send() and the audit log.
    std::optional<AuditOrigin> m_origin;
    bool m_submitted = false;
};

} // namespace tavo::gateway::pjlink
