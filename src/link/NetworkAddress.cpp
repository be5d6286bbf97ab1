#include "NetworkAddress.h"

#include <arpa/inet.h>

namespace tavo {
namespace {

const QLatin1String kTcp("tcp://");
const QLatin1String kRfc2217("rfc2217://");
// Longer than any DNS name (253) with brackets and a port.
constexpr int kLongestDevice = 300;

bool isHostNameCharacter(QChar c) {
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') ||
           c == QLatin1Char('.') || c == QLatin1Char('_');
}

} // namespace

bool isNetworkDevice(const QString& device) {
    const QString trimmed = device.trimmed();
    return trimmed.startsWith(kTcp, Qt::CaseInsensitive) ||
           trimmed.startsWith(kRfc2217, Qt::CaseInsensitive);
}

bool parseNetworkAddress(const QString& device, NetworkAddress* address, QString* error) {
    const auto fail = [error](const QString& why) {
        *error = why;
        return false;
    };
    const QString text = device.trimmed();
    if (text.size() > kLongestDevice)
        return fail(
            QStringLiteral("the network port name is too long (%1 characters)").arg(text.size()));
    NetworkAddress parsed;
    QString rest;
    if (text.startsWith(kTcp, Qt::CaseInsensitive)) {
        rest = text.mid(kTcp.size());
    } else if (text.startsWith(kRfc2217, Qt::CaseInsensitive)) {
        parsed.protocol = NetworkAddress::Protocol::Rfc2217;
        rest = text.mid(kRfc2217.size());
    } else {
        return fail(QStringLiteral("a network port is written tcp://host:port or "
                                   "rfc2217://host:port"));
    }
    const QString form = QStringLiteral("write it as %1host:port")
                             .arg(parsed.protocol == NetworkAddress::Protocol::RawTcp
                                      ? QStringLiteral("tcp://")
                                      : QStringLiteral("rfc2217://"));
    if (rest.isEmpty())
        return fail(QStringLiteral("no host and port given; ") + form);

    QString portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const int close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return fail(QStringLiteral("the IPv6 address has no closing bracket"));
        parsed.host = rest.mid(1, close - 1);
        in6_addr ipv6{};
        if (::inet_pton(AF_INET6, parsed.host.toLatin1().constData(), &ipv6) != 1)
            return fail(QStringLiteral("\"%1\" is not an IPv6 address").arg(parsed.host));
        if (rest.mid(close + 1, 1) != QLatin1String(":"))
            return fail(QStringLiteral("no port number given; ") + form);
        portText = rest.mid(close + 2);
    } else {
        const int colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return fail(QStringLiteral("no port number given; ") + form);
        parsed.host = rest.left(colon);
        portText = rest.mid(colon + 1);
        if (parsed.host.isEmpty())
            return fail(QStringLiteral("no host given; ") + form);
        for (const QChar c : parsed.host) {
            if (!isHostNameCharacter(c))
                return fail(
                    QStringLiteral("\"%1\" is not a host name or address").arg(parsed.host));
        }
    }
    bool number = !portText.isEmpty() && portText.size() <= 5;
    for (const QChar c : portText)
        number = number && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    const int port = number ? portText.toInt() : 0;
    if (port < 1 || port > 65535)
        return fail(QStringLiteral("\"%1\" is not a port number (1 to 65535)").arg(portText));
    parsed.port = static_cast<quint16>(port);
    *address = parsed;
    return true;
}

} // namespace tavo
