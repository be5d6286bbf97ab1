#include "HttpAudit.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpSocket>

namespace tavo::gateway {

AuditOrigin httpAuditOrigin(const QString& front, const QHttpServerRequest& request,
                            const QHttpServerResponder& responder, const QByteArray& payload) {
    const QTcpSocket* socket = responder.socket();
    const QString peer = socket ? socket->property(kPeerProperty).toString() : QString();
    return AuditOrigin{front, peer.isEmpty() ? request.remoteAddress().toString() : peer, payload};
}

} // namespace tavo::gateway
