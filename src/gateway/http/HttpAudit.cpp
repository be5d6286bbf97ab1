#include "HttpAudit.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpSocket>

namespace tavo::gateway {

QString peerOf(const QAbstractSocket& socket) {
    const QHostAddress address = socket.peerAddress();
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(address.toString())
                             : address.toString();
    return QStringLiteral("%1:%2").arg(host).arg(socket.peerPort());
}

AuditOrigin httpAuditOrigin(const QString& front, const QHttpServerRequest& request,
                            const QHttpServerResponder& responder, const QByteArray& payload) {
    const QTcpSocket* socket = responder.socket();
    const QString peer = socket ? socket->property(kPeerProperty).toString() : QString();
    return AuditOrigin{front, peer.isEmpty() ? request.remoteAddress().toString() : peer, payload};
}

} // namespace tavo::gateway
