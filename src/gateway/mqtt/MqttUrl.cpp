#include "MqttOptions.h"

#include <QUrl>

namespace tavo {

namespace {

std::optional<MqttOptions> refuse(QString* error, const QString& why) {
    if (error)
        *error = why;
    return std::nullopt;
}

} // namespace

std::optional<MqttOptions> parseMqttUrl(const QString& url, QString* error) {
    const QUrl parsed(url.trimmed(), QUrl::StrictMode);
    if (!parsed.isValid())
        return refuse(error, QStringLiteral("the broker URL is not well formed"));
    MqttOptions options;
    if (parsed.scheme() == QLatin1String("mqtts"))
        options.tls = true;
    else if (parsed.scheme() != QLatin1String("mqtt"))
        return refuse(error, QStringLiteral("the broker URL must start with mqtt:// or mqtts://"));
    // QUrl keeps "user:@host" as an empty password, so look at the raw form.
    if (parsed.userInfo(QUrl::FullyEncoded).contains(QLatin1Char(':')))
        return refuse(error, QStringLiteral("the broker URL holds a password; give it in a file"));
    if (parsed.host().isEmpty())
        return refuse(error, QStringLiteral("the broker URL names no host"));
    if (!(parsed.path().isEmpty() || parsed.path() == QLatin1String("/")) || parsed.hasQuery() ||
        parsed.hasFragment())
        return refuse(error, QStringLiteral("the broker URL has more than a host and a port"));
    if (parsed.port() == 0)
        return refuse(error, QStringLiteral("the broker URL's port is out of range"));
    options.host = parsed.host();
    options.user = parsed.userName();
    options.port = parsed.port() > 0 ? quint16(parsed.port()) : (options.tls ? 8883 : 1883);
    return options;
}

} // namespace tavo
