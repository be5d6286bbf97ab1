#pragma once

#include <QString>

namespace tavo {

// Why a port did not open, in the operator's terms.
enum class OpenFailure {
    NoSuchDevice,
    PermissionDenied,
    InUse,
    NotSerialDevice,
    ConnectionRefused,
    HostNotFound,
    TimedOut,
    // Connected, but the server never agreed to carry the serial-port option.
    NoRfc2217Answer,
    BadName,
    Other,
};

// The sentence the "Retry Comport" box shows under its text: the device, what
// went wrong and, where there is one, what to do. `detail` adds what is known
// beyond the kind (who holds the port, the system's own words).
QString openFailureText(OpenFailure kind, const QString& device, const QString& detail = {});

// The kind for a failed open(2) or connect(2) of a device path.
OpenFailure openFailureForErrno(int error);

} // namespace tavo
