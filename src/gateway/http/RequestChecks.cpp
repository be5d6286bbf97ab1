#include "RequestChecks.h"

#include "Gateway.h"

#include "CommandText.h"

#include <QCryptographicHash>
#include <QNetworkInterface>
#include <QStringDecoder>

#include <optional>

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

RequestHead refusedHead(int status, const QString& error) {
    RequestHead r;
    r.refusal = status;
    r.error = error;
    return r;
}

bool isToken(const QByteArray& text) {
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= ' ' || u >= 0x7F || QByteArrayView("\"(),/:;<=>?@[\\]{}").contains(c))
            return false;
    }
    return true;
}

// Control bytes other than tab, DEL included.
bool hasControlByte(const QByteArray& text) {
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < ' ' && c != '\t') || u == 0x7F)
            return true;
    }
    return false;
}

} // namespace

RequestHead readRequestHead(const QByteArray& head) {
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    // What the server's own parser would refuse is refused here, with an answer: the server
    // leaves a request it cannot parse unanswered, its connection held until the idle time.
    const QList<QByteArray> start = lines.value(0).split(' ');
    if (start.size() != 3 || !isToken(start[0]) || start[1].isEmpty() || hasControlByte(start[1]) ||
        (start[2] != "HTTP/1.1" && start[2] != "HTTP/1.0"))
        return refusedHead(400, QStringLiteral("the request line is not METHOD PATH HTTP/1.x"));
    static const QByteArrayList methods{"GET", "HEAD", "POST", "PUT", "DELETE", "OPTIONS", "PATCH"};
    if (!methods.contains(start[0]))
        return refusedHead(501, QStringLiteral("the method is not one HTTP has"));
    RequestHead r;
    r.head = start[0] == "HEAD";
    const bool http10 = start[2] == "HTTP/1.0";
    std::optional<qint64> length;
    int hosts = 0;
    bool chunked = false;
    QByteArrayList connection;
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        if (line.startsWith(' ') || line.startsWith('\t'))
            return refusedHead(400, QStringLiteral("a header field is folded over two lines"));
        const int colon = line.indexOf(':');
        const QByteArray name = line.left(colon).toLower();
        if (colon < 0 || !isToken(name))
            return refusedHead(400, QStringLiteral("a header line is not NAME: VALUE"));
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (hasControlByte(value))
            return refusedHead(400, QStringLiteral("a header value holds a control byte"));
        if (name == "transfer-encoding") {
            chunked = true;
        } else if (name == "content-length") {
            for (const QByteArray& item : value.split(',')) {
                const QByteArray digits = item.trimmed();
                bool number = !digits.isEmpty() && digits.size() <= 15;
                for (const char c : digits)
                    number = number && c >= '0' && c <= '9';
                if (!number || (length && *length != digits.toLongLong()))
                    return refusedHead(400, QStringLiteral("the Content-Length is not one "
                                                           "number"));
                length = digits.toLongLong();
            }
        } else if (name == "host") {
            if (++hosts > 1)
                return refusedHead(400, QStringLiteral("the request names two hosts"));
        } else if (name == "connection") {
            for (const QByteArray& option : value.split(','))
                connection << option.trimmed().toLower();
        }
    }
    if (chunked && length)
        return refusedHead(400, QStringLiteral("the request has both Content-Length and "
                                               "Transfer-Encoding"));
    // Not taken at all: request bodies here are short, and the length of a body is then never
    // open to two readings.
    if (chunked)
        return refusedHead(411, QStringLiteral("send the body with Content-Length, without "
                                               "Transfer-Encoding"));
    r.bodyLength = length.value_or(0);
    r.closeAfter = connection.contains("close") || (http10 && !connection.contains("keep-alive"));
    r.forServer = r.head ? "GET" + head.mid(4) : head;
    r.forServer += "\r\n\r\n";
    return r;
}

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
