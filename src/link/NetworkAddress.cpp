#include "NetworkAddress.h"

#include <QUrl>

#include <algorithm>
#include <optional>

namespace tavo {
namespace {

// Longer than any DNS name (253) with brackets and a port.
constexpr int kLongestDevice = 300;

bool isHostNameCharacter(QChar c) {
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') ||
           c == QLatin1Char('.') || c == QLatin1Char('_');
}

bool isHostName(const QString& host) {
    return !host.isEmpty() && std::all_of(host.begin(), host.end(), isHostNameCharacter);
}

bool isIpv6Address(const QString& host) {
    QUrl probe;
    probe.setHost(host, QUrl::StrictMode);
    return probe.isValid() && probe.host().contains(QLatin1Char(':'));
}

// The protocol a device string names with "scheme://", in any case.
std::optional<NetworkAddress::Protocol> protocolOf(const QUrl& url, const QString& text) {
    const QString scheme = url.scheme(); // QUrl gives it in lower case
    if (text.mid(scheme.size(), 3) != QLatin1String("://"))
        return std::nullopt;
    if (scheme == QLatin1String("tcp"))
        return NetworkAddress::Protocol::RawTcp;
    if (scheme == QLatin1String("rfc2217"))
        return NetworkAddress::Protocol::Rfc2217;
    return std::nullopt;
}

// A host and a port, and nothing QUrl also allows (user, path, query, fragment,
// an IPvFuture literal, characters a resolver would not take).
bool isUsable(const QUrl& url, const QString& authority) {
    if (!url.isValid() || !url.userInfo().isEmpty() || !url.path().isEmpty() || url.hasQuery() ||
        url.hasFragment() || url.port() < 1)
        return false;
    const QString host = url.host(QUrl::FullyEncoded);
    return authority.startsWith(QLatin1Char('[')) ? host.contains(QLatin1Char(':'))
                                                  : isHostName(host);
}

// Why the part after "scheme://", as written, names no host and port.
QString whyUnusable(const QString& authority, const QString& form) {
    if (authority.isEmpty())
        return QStringLiteral("no host and port given; ") + form;
    QString portText;
    if (authority.startsWith(QLatin1Char('['))) {
        const int close = authority.indexOf(QLatin1Char(']'));
        if (close < 0)
            return QStringLiteral("the IPv6 address has no closing bracket");
        const QString host = authority.mid(1, close - 1);
        if (!isIpv6Address(host))
            return QStringLiteral("\"%1\" is not an IPv6 address").arg(host);
        if (authority.mid(close + 1, 1) != QLatin1String(":"))
            return QStringLiteral("no port number given; ") + form;
        portText = authority.mid(close + 2);
    } else {
        const int colon = authority.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return QStringLiteral("no port number given; ") + form;
        const QString host = authority.left(colon);
        if (host.isEmpty())
            return QStringLiteral("no host given; ") + form;
        if (!isHostName(host))
            return QStringLiteral("\"%1\" is not a host name or address").arg(host);
        portText = authority.mid(colon + 1);
    }
    return QStringLiteral("\"%1\" is not a port number (1 to 65535)").arg(portText);
}

} // namespace

bool isNetworkDevice(const QString& device) {
    const QString text = device.trimmed();
    return protocolOf(QUrl(text), text).has_value();
}

bool parseNetworkAddress(const QString& device, NetworkAddress* address, QString* error) {
    const QString text = device.trimmed();
    if (text.size() > kLongestDevice) {
        *error =
            QStringLiteral("the network port name is too long (%1 characters)").arg(text.size());
        return false;
    }
    const QUrl url(text, QUrl::StrictMode);
    const auto protocol = protocolOf(url, text);
    if (!protocol) {
        *error = QStringLiteral("a network port is written tcp://host:port or rfc2217://host:port");
        return false;
    }
    const QString authority = text.mid(url.scheme().size() + 3);
    if (!isUsable(url, authority)) {
        *error = whyUnusable(authority, QStringLiteral("write it as %1://host:port")
                                            .arg(*protocol == NetworkAddress::Protocol::RawTcp
                                                     ? QStringLiteral("tcp")
                                                     : QStringLiteral("rfc2217")));
        return false;
    }
    address->protocol = *protocol;
    // A name as the resolver takes it (IDN in ASCII form); an address as written.
    address->host =
        authority.startsWith(QLatin1Char('[')) ? url.host() : url.host(QUrl::FullyEncoded);
    address->port = static_cast<quint16>(url.port());
    return true;
}

} // namespace tavo
