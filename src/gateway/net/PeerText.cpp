#include "PeerText.h"

#include <QAbstractSocket>
#include <QHostAddress>

namespace tavo::gateway {

QString peerText(const QAbstractSocket& socket) {
    const QHostAddress address = socket.peerAddress();
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(address.toString())
                             : address.toString();
    return QStringLiteral("%1:%2").arg(host).arg(socket.peerPort());
}

} // namespace tavo::gateway
