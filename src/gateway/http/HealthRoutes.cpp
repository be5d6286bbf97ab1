#include "HealthRoutes.h"

#include "GatewayHealth.h"
#include "HttpAnswer.h"
#include "HttpFront.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>

namespace tavo::gateway {
namespace {

using Status = QHttpServerResponder::StatusCode;

void verdict(QHttpServerResponder& responder, const GatewayHealth::Verdict& v) {
    if (v.ok)
        return answerJson(responder, Status::Ok, QJsonObject{{QStringLiteral("ok"), true}});
    answerError(responder, Status::ServiceUnavailable, v.reason);
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
                      answerJson(responder, Status::Ok, health.json());
                  });
}

} // namespace tavo::gateway
