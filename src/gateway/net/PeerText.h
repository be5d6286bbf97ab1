#pragma once

#include <QString>

class QAbstractSocket;

namespace tavo::gateway {

// The client's "ADDR:PORT" ("[V6]:PORT"), as the audit log and the fronts' own log name it.
QString peerText(const QAbstractSocket& socket);

} // namespace tavo::gateway
