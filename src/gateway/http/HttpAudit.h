#pragma once

#include "AuditLog.h"

class QHttpServerRequest;
class QHttpServerResponder;

namespace tavo::gateway {

// The client's "ADDR:PORT" ("[V6]:PORT"), kept on the server's end of a connection's socket
// pair under this property, since the server sees only the pair.
inline constexpr char kPeerProperty[] = "tavoPeer";

// Who sent an HTTP request, for the audit log: the peer "ADDR:PORT", and `payload` as the
// front chooses to show it (never a token).
AuditOrigin httpAuditOrigin(const QString& front, const QHttpServerRequest& request,
                            const QHttpServerResponder& responder, const QByteArray& payload);

} // namespace tavo::gateway
