#include "OpenFailure.h"

#include <cerrno>

namespace tavo {

QString openFailureText(OpenFailure kind, const QString& name, const QString& detail) {
    // A pasted screenful must not make the box as wide as the screen.
    constexpr int kLongestShown = 80;
    const QString device =
        name.size() > kLongestShown ? name.left(kLongestShown - 3) + QStringLiteral("...") : name;
    QString text;
    switch (kind) {
    case OpenFailure::NoSuchDevice:
        text = QStringLiteral("%1: no such device. Is the adapter plugged in?").arg(device);
        break;
    case OpenFailure::PermissionDenied:
        text = QStringLiteral("%1: permission denied. Add yourself to the dialout group with "
                              "\"sudo usermod -aG dialout $USER\", then log out and in again.")
                   .arg(device);
        break;
    case OpenFailure::InUse:
        text = detail.isEmpty()
                   ? QStringLiteral("%1 is in use by another program.").arg(device)
                   : QStringLiteral("%1 is in use by another program (%2).").arg(device, detail);
        return text;
    case OpenFailure::NotSerialDevice:
        text = QStringLiteral("%1 is not a serial device.").arg(device);
        break;
    case OpenFailure::ConnectionRefused:
        text = QStringLiteral("%1: connection refused; nothing is listening on that port.")
                   .arg(device);
        break;
    case OpenFailure::HostNotFound:
        text = QStringLiteral("%1: host not found.").arg(device);
        break;
    case OpenFailure::TimedOut:
        text = QStringLiteral("%1: timed out; no answer from the device server.").arg(device);
        break;
    case OpenFailure::NoRfc2217Answer:
        text = QStringLiteral("%1: connected, but the device server did not take up the RFC 2217 "
                              "serial-port option. For a raw TCP port use tcp://.")
                   .arg(device);
        break;
    case OpenFailure::BadName:
        text = QStringLiteral("\"%1\" is not a usable port name.").arg(device);
        break;
    case OpenFailure::Other:
        text = QStringLiteral("%1 could not be opened.").arg(device);
        break;
    }
    if (!detail.isEmpty())
        text += QLatin1Char(' ') + detail;
    return text;
}

OpenFailure openFailureForErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return OpenFailure::NoSuchDevice;
    case EACCES:
    case EPERM:
        return OpenFailure::PermissionDenied;
    case EBUSY:
    case EWOULDBLOCK:
        return OpenFailure::InUse;
    case ENOTTY:
    case ENOTDIR:
    case EISDIR:
        return OpenFailure::NotSerialDevice;
    case ECONNREFUSED:
        return OpenFailure::ConnectionRefused;
    case ETIMEDOUT:
        return OpenFailure::TimedOut;
    default:
        return OpenFailure::Other;
    }
}

} // namespace tavo
