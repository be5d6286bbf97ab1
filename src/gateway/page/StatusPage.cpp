#include "StatusPage.h"

#include "FormPost.h"
#include "StatusHtml.h"

#include "Gateway.h"
#include "HttpAnswer.h"
#include "HttpAudit.h"
#include "HttpFront.h"
#include "RequestChecks.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
#include <QTcpSocket>

#include <memory>

namespace tavo::gateway::page {
namespace {

using Status = QHttpServerResponder::StatusCode;

// A page's answer: the HTTP side's, with the page's content policy.
void answer(QHttpServerResponder& responder, Status status, const QByteArray& type,
            const QByteArray& body, const QByteArray& cache = "no-store") {
    answerHttp(responder, status, type, body,
               {{"Cache-Control", cache},
                {"Content-Security-Policy", contentSecurityPolicy()},
                // Not no-referrer: Chromium then sends "Origin: null" with the form, which the
                // front refuses.
                {"Referrer-Policy", "same-origin"}});
}

void answerPage(QHttpServerResponder& responder, Status status, const QString& heading,
                const QStringList& lines) {
    answer(responder, status, "text/html; charset=utf-8", resultPageHtml(heading, lines));
}

void serveFile(HttpFront& front, const QString& path, const QString& resource,
               const QByteArray& type) {
    front.addPage(
        path, [resource, type](const QHttpServerRequest&, QHttpServerResponder&& responder) {
            QFile file(resource);
            if (!file.open(QIODevice::ReadOnly))
                return answer(responder, Status::InternalServerError, "text/plain", "missing\n");
            answer(responder, Status::Ok, type, file.readAll(), "no-cache");
        });
}

QList<int> targetsOf(const Gateway& gateway, const FormAction& action) {
    QList<int> indices;
    if (action.kind == FormAction::Kind::Projector) {
        if (const int index = gateway.indexOf(action.target); index >= 0)
            indices << index;
        return indices;
    }
    for (int i = 0; i < gateway.projectorCount(); ++i)
        if (gateway.projector(i).room == action.target)
            indices << i;
    return indices;
}

// The commands of one form post, answered once the last projector has.
struct PendingPost {
    explicit PendingPost(QHttpServerResponder&& r) : responder(std::move(r)) {}
    QHttpServerResponder responder;
    int waiting = 0;
    bool onlyTimeouts = true;
    bool busy = false; // a projector refused it: too many commands wait
    QStringList failures;
};

void finish(PendingPost& post, const QString& what) {
    if (post.failures.isEmpty()) {
        post.responder.writeStatusLine(Status::SeeOther);
        post.responder.writeHeader("Location", "/");
        post.responder.writeHeader("Content-Length", "0");
        post.responder.writeHeader("Cache-Control", "no-store");
        post.responder.writeBody(QByteArray());
        return;
    }
    answerPage(post.responder,
               post.onlyTimeouts ? Status::GatewayTimeout
               : post.busy       ? Status::ServiceUnavailable
                                 : Status::BadGateway,
               QStringLiteral("Not done: %1").arg(what), post.failures);
}

void act(Gateway& gateway, const QByteArray& token, const QHttpServerRequest& request,
         QHttpServerResponder&& responder) {
    // Every button pressed is in the audit log, done or refused; the typed token is not.
    const FormPost post = parseFormPost(request.body());
    const QByteArray asked =
        post.action ? (post.action->what + QLatin1Char(' ') + post.action->target).toUtf8()
                    : QByteArray("POST /actions");
    const AuditOrigin origin = httpAuditOrigin(QStringLiteral("page"), request, responder, asked);
    const QString command = post.action ? post.action->what : QString();
    const auto refuse = [&](Status status, const QString& title, const QString& why) {
        if (status == Status::Unauthorized)
            gateway.audit().denied(origin, QString(), QStringLiteral("wrong-token"), why);
        else
            gateway.audit().refused(origin, QString(), command, why);
        answerPage(responder, status, title, {why});
    };
    if (token.isEmpty())
        return refuse(Status::Forbidden, QStringLiteral("Read-only"),
                      QStringLiteral("The gateway was started without --http-token-file: "
                                     "this page can only show the projectors."));
    if (!request.value("content-type").toLower().startsWith("application/x-www-form-urlencoded"))
        return refuse(Status::UnsupportedMediaType, QStringLiteral("Not a form"),
                      QStringLiteral("Send application/x-www-form-urlencoded fields."));
    if (!bearerMatches("Bearer " + post.token, token))
        return refuse(Status::Unauthorized, QStringLiteral("Wrong token"),
                      post.token.isEmpty()
                          ? QStringLiteral("No token was typed; nothing was sent.")
                          : QStringLiteral("The token is wrong; nothing was sent."));
    if (!post.action)
        return refuse(Status::BadRequest, QStringLiteral("Not understood"), post.error);
    const FormAction& action = *post.action;
    if (action.kind == FormAction::Kind::CheckToken)
        return answerPage(responder, Status::Ok, QStringLiteral("Token accepted"),
                          {QStringLiteral("Without JavaScript nothing is kept: type the token "
                                          "again with each command.")});
    const QList<int> indices = targetsOf(gateway, action);
    if (indices.isEmpty())
        return refuse(Status::NotFound, QStringLiteral("Not found"),
                      action.kind == FormAction::Kind::Room
                          ? QStringLiteral("The site has no room \"%1\".").arg(action.target)
                          : QStringLiteral("The site has no projector \"%1\".").arg(action.target));

    // Each projector's own queue; the client may have gone by the time the last one answered.
    auto pending = std::make_shared<PendingPost>(std::move(responder));
    pending->waiting = int(indices.size());
    QPointer<QTcpSocket> socket = pending->responder.socket();
    const QString what = action.kind == FormAction::Kind::Room
                             ? QStringLiteral("%1 for room %2").arg(action.what, action.target)
                             : QStringLiteral("%1 for %2").arg(action.what, action.target);
    for (const int index : indices) {
        const QString name = gateway.projector(index).name;
        gateway.sendFrom(origin, index, action.command,
                         [pending, socket, name, what](const Exchange& exchange) {
                             if (exchange.status != Exchange::Status::Ok) {
                                 pending->failures << name + QStringLiteral(": ") + exchange.error;
                                 if (exchange.status != Exchange::Status::NoReply)
                                     pending->onlyTimeouts = false;
                                 if (exchange.status == Exchange::Status::Busy)
                                     pending->busy = true;
                             }
                             if (--pending->waiting > 0)
                                 return;
                             if (socket && socket->state() == QAbstractSocket::ConnectedState)
                                 finish(*pending, what);
                         });
    }
}

} // namespace

QByteArray contentSecurityPolicy() {
    return "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; "
           "img-src 'self' data:; form-action 'self'; base-uri 'none'; frame-ancestors 'none'";
}

void addStatusPage(HttpFront& front, Gateway& gateway, const QByteArray& token) {
    const bool writable = !token.isEmpty();
    front.addPage(QStringLiteral("/"), [&gateway, writable](const QHttpServerRequest&,
                                                            QHttpServerResponder&& responder) {
        QList<StatusRow> rows;
        rows.reserve(gateway.projectorCount());
        for (int i = 0; i < gateway.projectorCount(); ++i)
            rows << StatusRow{gateway.projector(i), gateway.state(i), gateway.portOpen(i)};
        answer(
            responder, Status::Ok, "text/html; charset=utf-8",
            statusPageHtml(gateway.site().name, rows, writable, QDateTime::currentDateTimeUtc()));
    });
    serveFile(front, QStringLiteral("/page.js"), QStringLiteral(":/status-page/page.js"),
              "text/javascript; charset=utf-8");
    serveFile(front, QStringLiteral("/page.css"), QStringLiteral(":/status-page/page.css"),
              "text/css; charset=utf-8");
    front.addForm(QStringLiteral("/actions"), [&gateway, token](const QHttpServerRequest& request,
                                                                QHttpServerResponder&& responder) {
        act(gateway, token, request, std::move(responder));
    });
}

} // namespace tavo::gateway::page
