#include "ExchangeJson.h"

namespace tavo {
namespace {
QJsonValue textOrNull(const QString& text) {
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}
} // namespace

QJsonObject exchangeJson(const QString& name, const QString& target, const QString& address,
                         const Exchange& exchange) {
    return QJsonObject{
        {QStringLiteral("name"), textOrNull(name)},
        {QStringLiteral("target"), target},
        {QStringLiteral("address"), address},
        {QStringLiteral("sent"), QString::fromLatin1(exchange.sent)},
        {QStringLiteral("reply"), QString::fromLatin1(exchange.reply)},
        {QStringLiteral("decoded"),
         exchange.decoded ? QJsonValue(*exchange.decoded) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("ok"), exchange.status == Exchange::Status::Ok},
        {QStringLiteral("error"), textOrNull(exchange.error)},
    };
}

} // namespace tavo
