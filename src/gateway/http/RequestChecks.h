#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <optional>

namespace tavo::gateway {

// The checks of the HTTP front on what a request carries, apart from the server, so every
// front that takes text from the network can use them.

// "Bearer TOKEN" naming `token`; the comparison takes the same time wherever they differ.
bool bearerMatches(const QByteArray& authorization, const QByteArray& token);

// The origins a browser sends for a page served from this address and port: the address
// itself, and "localhost" on loopback; every interface's address when bound to all of them.
QStringList ownOrigins(const QHostAddress& address, quint16 port);

// On loopback, a Host header must name loopback: a page from a foreign name that resolves to
// 127.0.0.1 (DNS rebinding) is refused even where the browser sends no Origin. Elsewhere, and
// without a Host header, any host is taken.
bool isOwnHost(const QByteArray& host, const QHostAddress& address, quint16 port);

// What a request head (request line and header fields, up to and without the empty line)
// says about framing, checked before the HTTP server sees it. Refused (status 400, or 411 for a
// body without Content-Length) when the body's length is not certain, as a proxy in front could
// read it otherwise (RFC 9112 6.3): Transfer-Encoding of any kind, Content-Length values that
// differ or are not numbers, a field name with white space before the colon, a folded line, two
// Host fields, a control byte in a field or the target, a request line that is not METHOD TARGET
// HTTP/1.0 or 1.1; a method HTTP has not is answered 501.
struct RequestHead {
    int refusal = 0; // an HTTP status; 0: taken
    QString error;
    qint64 bodyLength = 0;
    bool head = false;       // HEAD: answered as GET, without the body
    bool closeAfter = false; // Connection: close, or HTTP/1.0 without keep-alive
    QByteArray forServer;    // the head as the server gets it (HEAD asked as GET), CR LF ended
};
RequestHead readRequestHead(const QByteArray& head);

// A command from a request body, or why there is none. One trailing line end (as echo and
// many clients add) is dropped; everything else is taken as sent.
struct BodyCommand {
    std::optional<QByteArray> command;
    QString error;
};
BodyCommand powerBody(const QByteArray& body); // "on" or "off"
BodyCommand inputBody(const QByteArray& body); // "1" to "4"
// A command's text as typed in the console: UTF-8 within Latin-1, no control byte.
BodyCommand sendBody(const QByteArray& body);

} // namespace tavo::gateway
