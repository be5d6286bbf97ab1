#include "HttpAnswer.h"

#include <QJsonDocument>

#include <algorithm>

namespace tavo::gateway {

void answerHttp(QHttpServerResponder& responder, QHttpServerResponder::StatusCode status,
                const QByteArray& type, const QByteArray& body, const HttpHeaders& extra) {
    responder.writeStatusLine(status);
    responder.writeHeader("Content-Type", type);
    responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    const bool ownCache = std::any_of(extra.begin(), extra.end(), [](const auto& header) {
        return header.first.compare("Cache-Control", Qt::CaseInsensitive) == 0;
    });
    if (!ownCache)
        responder.writeHeader("Cache-Control", "no-store");
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    for (const auto& [name, value] : extra)
        responder.writeHeader(name, value);
    responder.writeBody(body);
}

void answerJson(QHttpServerResponder& responder, QHttpServerResponder::StatusCode status,
                const QJsonObject& object, const HttpHeaders& extra) {
    answerHttp(responder, status, "application/json",
               QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n', extra);
}

void answerError(QHttpServerResponder& responder, QHttpServerResponder::StatusCode status,
                 const QString& error, const HttpHeaders& extra) {
    answerJson(responder, status,
               QJsonObject{{QStringLiteral("ok"), false}, {QStringLiteral("error"), error}}, extra);
}

} // namespace tavo::gateway
