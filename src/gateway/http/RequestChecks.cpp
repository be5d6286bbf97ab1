#include "RequestChecks.h"

#include "Gateway.h"

#include "CommandText.h"

#include <QCryptographicHash>
#include <QNetworkInterface>
#include <QStringDecoder>

namespace tavo::gateway {
namespace {

QByteArray withoutLineEnd(QByteArray body) {
    if (body.endsWith("\r\n"))
        body.chop(2);
    else if (body.endsWith('\n'))
        body.chop(1);
    return body;
}

BodyCommand refused(const QString& error) {
    return BodyCommand{std::nullopt, error};
}

QString hostPart(const QHostAddress& address) {
    QHostAddress plain = address;
    plain.setScopeId(QString());
    return plain.protocol() == QAbstractSocket::IPv6Protocol
               ? QStringLiteral("[%1]").arg(plain.toString())
               : plain.toString();
}

bool isAnyAddress(const QHostAddress& address) {
    return address == QHostAddress::Any || address == QHostAddress::AnyIPv4 ||
           address == QHostAddress::AnyIPv6;
}

} // namespace

bool bearerMatches(const QByteArray& authorization, const QByteArray& token) {
    static const QByteArray scheme = "bearer ";
    if (token.isEmpty() || authorization.size() <= scheme.size() ||
        authorization.left(scheme.size()).toLower() != scheme)
        return false;
    const QByteArray given = authorization.mid(scheme.size()).trimmed();
    // Digests of equal length, compared byte by byte to the end: neither the place of the first
    // difference nor the token's length shows in the time taken.
    const QByteArray a = QCryptographicHash::hash(given, QCryptographicHash::Sha256);
    const QByteArray b = QCryptographicHash::hash(token, QCryptographicHash::Sha256);
    unsigned char difference = 0;
    for (int i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

QStringList ownOrigins(const QHostAddress& address, quint16 port) {
    QList<QHostAddress> addresses{address};
    if (isAnyAddress(address))
        addresses = QNetworkInterface::allAddresses();
    QStringList origins;
    for (const QHostAddress& a : addresses) {
        if (address == QHostAddress::AnyIPv4 && a.protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        origins << QStringLiteral("http://%1:%2").arg(hostPart(a)).arg(port);
        if (a.isLoopback())
            origins << QStringLiteral("http://localhost:%1").arg(port);
    }
    origins.removeDuplicates();
    return origins;
}

bool isOwnHost(const QByteArray& host, const QHostAddress& address, quint16 port) {
    if (host.isEmpty() || !address.isLoopback())
        return true;
    const QString given = QString::fromLatin1(host).toLower();
    for (const char* name : {"localhost", "127.0.0.1", "[::1]"}) {
        const QString own = QString::fromLatin1(name);
        if (given == QStringLiteral("%1:%2").arg(own).arg(port) || (port == 80 && given == own))
            return true;
    }
    return false;
}

BodyCommand powerBody(const QByteArray& body) {
    const QByteArray word = withoutLineEnd(body);
    if (word == "on" || word == "off")
        return BodyCommand{Gateway::powerCommand(word == "on"), QString()};
    return refused(QStringLiteral("the body must be on or off"));
}

BodyCommand inputBody(const QByteArray& body) {
    const QByteArray word = withoutLineEnd(body);
    if (word.size() == 1) {
        if (const auto command = Gateway::inputCommand(word[0] - '0'))
            return BodyCommand{command, QString()};
    }
    return refused(QStringLiteral("the body must be an input from 1 to 4"));
}

BodyCommand sendBody(const QByteArray& body) {
    const QByteArray raw = withoutLineEnd(body);
    if (raw.isEmpty())
        return refused(QStringLiteral("the body must hold a command"));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(raw);
    if (utf8.hasError())
        return refused(QStringLiteral("the body is not UTF-8 text"));
    // The link's own rule: a CR inside would start a second, unaddressed command that every
    // projector on the line obeys, and other control bytes are no command's.
    QString why;
    const auto command = commandTextBytes(text, &why);
    if (!command)
        return refused(why + QStringLiteral("; nothing was sent"));
    return BodyCommand{*command, QString()};
}

} // namespace tavo::gateway
