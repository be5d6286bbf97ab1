#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tavo {

// How to reach the broker and what it publishes for us if we vanish.
struct MqttOptions {
    QString host;
    quint16 port = 1883;
    bool tls = false;
    QString caFile; // empty: the system's certificate authorities
    // A client certificate (PEM) and its key, or both empty.
    QString certFile;
    QString keyFile;
    QString user;
    QString password; // read by the caller from a file, never from a URL
    int keepaliveSeconds = 15;
    QString clientId; // empty: the library makes one up
    QString willTopic;
    QByteArray willPayload;
    bool willRetain = true;
};

// Parses mqtt://[USER@]HOST[:PORT] and mqtts://[USER@]HOST[:PORT] (ports
// 1883 and 8883 by default; an IPv6 address goes in brackets). Anything else,
// a password in the URL included, gives nothing and says why in `error`. The
// text never repeats the URL, so a mistyped secret does not reach a log.
std::optional<MqttOptions> parseMqttUrl(const QString& url, QString* error);

} // namespace tavo
