#pragma once

#include <QByteArray>
#include <QHttpServerResponder>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>

namespace tavo::gateway {

using HttpHeaders = QList<QPair<QByteArray, QByteArray>>;

// Every answer of the gateway's HTTP side, whichever front serves it: a Content-Length, never
// sniffed, not cached unless `extra` names its own Cache-Control.
void answerHttp(QHttpServerResponder& responder, QHttpServerResponder::StatusCode status,
                const QByteArray& type, const QByteArray& body, const HttpHeaders& extra = {});

// One compact JSON object and a line end.
void answerJson(QHttpServerResponder& responder, QHttpServerResponder::StatusCode status,
                const QJsonObject& object, const HttpHeaders& extra = {});

// {"ok":false,"error":…}
void answerError(QHttpServerResponder& responder, QHttpServerResponder::StatusCode status,
                 const QString& error, const HttpHeaders& extra = {});

} // namespace tavo::gateway
