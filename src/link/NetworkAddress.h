#pragma once

#include <QString>

namespace tavo {

// A network serial port named by a device string: "tcp://host:port" (raw
// bytes both ways) or "rfc2217://host:port" (telnet COM-PORT-OPTION). An IPv6
// address goes in brackets: "tcp://[::1]:4001".
struct NetworkAddress {
    enum class Protocol { RawTcp, Rfc2217 };
    Protocol protocol = Protocol::RawTcp;
    QString host;
    quint16 port = 0;
};

// True when `device` uses one of the network forms, well formed or not: such
// a string is never a path.
bool isNetworkDevice(const QString& device);

// Parses a network device string. On failure returns false and says why in
// `error`, in words for the operator.
bool parseNetworkAddress(const QString& device, NetworkAddress* address, QString* error);

} // namespace tavo
