#include "HealthRoutes.h"

#include "GatewayHealth.h"
#include "HttpFront.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>

namespace tavo::gateway {
namespace {

using Status = QHttpServerResponder::StatusCode;

void answer(QHttpServerResponder& responder, Status status, const QJsonObject& object) {
    const QByteArray body = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    responder.writeStatusLine(status);
    responder.writeHeader("Content-Type", "application/json");
    responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    responder.writeHeader("Cache-Control", "no-store");
    responder.writeBody(body);
}

void verdict(QHttpServerResponder& responder, const GatewayHealth::Verdict& v) {
    if (v.ok)
        return answer(responder, Status::Ok, QJsonObject{{QStringLiteral("ok"), true}});
    answer(responder, Status::ServiceUnavailable,
           QJsonObject{{QStringLiteral("ok"), false}, {QStringLiteral("error"), v.reason}});
}

} // namespace

void addHealthRoutes(HttpFront& front, const GatewayHealth& health) {
    front.addPage(QStringLiteral("/healthz"),
                  [&health](const QHttpServerRequest&, QHttpServerResponder&& responder) {
                      verdict(responder, health.health());
                  });
    front.addPage(QStringLiteral("/readyz"),
                  [&health](const QHttpServerRequest&, QHttpServerResponder&& responder) {
                      verdict(responder, health.readiness());
                  });
    front.addPage(QStringLiteral("/api/gateway"),
                  [&health](const QHttpServerRequest&, QHttpServerResponder&& responder) {
                      answer(responder, Status::Ok, health.json());
                  });
}

} // namespace tavo::gateway
