#include "HttpFront.h"

#include "GuardedTcpServer.h"
#include "HttpAnswer.h"
#include "HttpAudit.h"
#include "Metrics.h"
#include "RequestChecks.h"

#include "Gateway.h"

#include "ExchangeJson.h"

#include <QHttpServer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTcpSocket>

namespace tavo::gateway {
namespace {

using Status = QHttpServerResponder::StatusCode;
using Method = QHttpServerRequest::Method;

// A method this path does not take, answered with the one it does.
bool wrongMethod(const QHttpServerRequest& request, QHttpServerResponder& responder,
                 Method wanted) {
    if (request.method() == wanted)
        return false;
    answerError(responder, Status::MethodNotAllowed,
                QStringLiteral("use %1 here")
                    .arg(wanted == Method::Get ? QLatin1String("GET") : QLatin1String("POST")),
                {{"Allow", wanted == Method::Get ? "GET" : "POST"}});
    return true;
}

QJsonObject projectorAt(const Gateway& gateway, int index) {
    return projectorJson(gateway.projector(index), gateway.state(index), gateway.portOpen(index));
}

Status statusFor(const Exchange& exchange) {
    switch (exchange.status) {
    case Exchange::Status::Ok:
        return Status::Ok;
    case Exchange::Status::NoReply:
        return Status::GatewayTimeout;
    case Exchange::Status::Busy:
        return Status::ServiceUnavailable;
    case Exchange::Status::Failed:
    case Exchange::Status::LinkLost:
        break;
    }
    return Status::BadGateway;
}

} // namespace

HttpFront::HttpFront(Gateway& gateway, const Metrics& metrics, HttpOptions options, QObject* parent)
    : QObject(parent), m_gateway(gateway), m_metrics(metrics), m_options(std::move(options)),
      m_server(std::make_unique<QHttpServer>()) {
    m_server->route(
        "/metrics", [this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
            if (admitted(request, responder, Verb::Get))
                answerHttp(responder, Status::Ok, Metrics::contentType(), m_metrics.render());
        });
    m_server->route("/api/projectors",
                    [this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
                        listProjectors(request, std::move(responder));
                    });
    m_server->route("/api/projectors/<arg>",
                    [this](const QString& name, const QHttpServerRequest& request,
                           QHttpServerResponder&& responder) {
                        showProjector(name, request, std::move(responder));
                    });
    m_server->route("/api/projectors/<arg>/<arg>",
                    [this](const QString& name, const QString& action,
                           const QHttpServerRequest& request, QHttpServerResponder&& responder) {
                        act(name, action, request, std::move(responder));
                    });
    m_server->setMissingHandler([](const QHttpServerRequest&, QHttpServerResponder&& responder) {
        answerError(responder, Status::NotFound, QStringLiteral("no such page"));
    });
}

HttpFront::~HttpFront() = default;

bool HttpFront::listen() {
    GuardedTcpServer::Limits limits;
    limits.maxConnections = m_options.maxConnections;
    limits.connection.requestLimit = 16 * kBodyLimit;
    limits.connection.requestMs = m_options.requestMs;
    limits.connection.idleMs = m_options.idleMs;
    limits.tls = m_options.tls;
    auto listener = std::make_unique<GuardedTcpServer>(limits);
    if (!listener->listen(m_options.address, m_options.port)) {
        m_error = QStringLiteral("cannot listen on %1 port %2: %3")
                      .arg(m_options.address.toString())
                      .arg(m_options.port)
                      .arg(listener->errorString());
        return false;
    }
    m_origins = ownOrigins(m_options.address, listener->serverPort(), m_options.tls.has_value());
    m_listener = listener.release();
    m_server->bind(m_listener);
    return true;
}

quint16 HttpFront::port() const {
    return m_listener ? m_listener->serverPort() : 0;
}

int HttpFront::connections() const {
    return m_listener ? m_listener->connections() : 0;
}

void HttpFront::addPage(const QString& path, Page page) {
    m_server->route(path, [this, page = std::move(page)](const QHttpServerRequest& request,
                                                         QHttpServerResponder&& responder) {
        if (admitted(request, responder, Verb::Get))
            page(request, std::move(responder));
    });
}

void HttpFront::addForm(const QString& path, Page form) {
    m_server->route(path, [this, form = std::move(form)](const QHttpServerRequest& request,
                                                         QHttpServerResponder&& responder) {
        if (!admitted(request, responder, Verb::Post))
            return;
        if (request.body().size() > kBodyLimit)
            return answerError(responder, Status::PayloadTooLarge,
                               QStringLiteral("the body is longer than %1 bytes").arg(kBodyLimit));
        form(request, std::move(responder));
    });
}

bool HttpFront::admitted(const QHttpServerRequest& request, QHttpServerResponder& responder,
                         Verb verb) const {
    if (wrongMethod(request, responder, verb == Verb::Get ? Method::Get : Method::Post))
        return false;
    if (const QString why = refusal(request); !why.isEmpty()) {
        answerError(responder, Status::Forbidden, why);
        return false;
    }
    return true;
}

QString HttpFront::refusal(const QHttpServerRequest& request) const {
    const QByteArray origin = request.value("origin");
    if (!origin.isEmpty() && !m_origins.contains(QString::fromLatin1(origin).toLower()))
        return QStringLiteral("requests from pages of another origin are refused");
    if (!isOwnHost(request.value("host"), m_options.address, port()))
        return QStringLiteral("this gateway is not served under that host name");
    return QString();
}

void HttpFront::listProjectors(const QHttpServerRequest& request,
                               QHttpServerResponder&& responder) {
    if (!admitted(request, responder, Verb::Get))
        return;
    QJsonArray projectors;
    for (int i = 0; i < m_gateway.projectorCount(); ++i)
        projectors.append(projectorAt(m_gateway, i));
    answerJson(responder, Status::Ok,
               QJsonObject{{QStringLiteral("site"), m_gateway.site().name},
                           {QStringLiteral("projectors"), projectors}});
}

void HttpFront::showProjector(const QString& name, const QHttpServerRequest& request,
                              QHttpServerResponder&& responder) {
    if (!admitted(request, responder, Verb::Get))
        return;
    const int index = m_gateway.indexOf(name);
    if (index < 0)
        return answerError(responder, Status::NotFound, QStringLiteral("no such projector"));
    answerJson(responder, Status::Ok, projectorAt(m_gateway, index));
}

void HttpFront::act(const QString& name, const QString& action, const QHttpServerRequest& request,
                    QHttpServerResponder&& responder) {
    using Parse = BodyCommand (*)(const QByteArray&);
    Parse parse = nullptr;
    if (action == QLatin1String("power"))
        parse = powerBody;
    else if (action == QLatin1String("input"))
        parse = inputBody;
    else if (action == QLatin1String("send"))
        parse = sendBody;
    if (!parse)
        return answerError(responder, Status::NotFound, QStringLiteral("no such page"));
    if (!admitted(request, responder, Verb::Post))
        return;
    // Every write asked for is in the audit log, done or refused; the token is not.
    const AuditOrigin origin = httpAuditOrigin(QStringLiteral("http"), request, responder,
                                               "POST " + request.url().path().toUtf8() + ' ' +
                                                   request.body().left(kBodyLimit));
    const int index = m_gateway.indexOf(name);
    const QString known = index < 0 ? QString() : name;
    const auto refuse = [&](Status status, const QString& why, const HttpHeaders& headers = {}) {
        if (status == Status::Unauthorized)
            m_gateway.audit().denied(origin, known, QStringLiteral("wrong-token"), why);
        else
            m_gateway.audit().refused(origin, known, action, why);
        answerError(responder, status, why, headers);
    };
    if (m_options.token.isEmpty())
        return refuse(Status::Forbidden,
                      QStringLiteral("the HTTP side is read-only: the gateway was started "
                                     "without --http-token-file"));
    if (!bearerMatches(request.value("authorization"), m_options.token))
        return refuse(Status::Unauthorized,
                      QStringLiteral("a write needs the header Authorization: Bearer and "
                                     "the gateway's token"),
                      {{"WWW-Authenticate", "Bearer"}});
    if (index < 0)
        return refuse(Status::NotFound, QStringLiteral("no such projector"));
    const QByteArray body = request.body();
    if (body.size() > kBodyLimit)
        return refuse(Status::PayloadTooLarge,
                      QStringLiteral("the body is longer than %1 bytes").arg(kBodyLimit));
    const BodyCommand command = parse(body);
    if (!command.command)
        return refuse(Status::BadRequest, command.error);

    // Answered when the projector has; the client may be gone by then, and so may its socket.
    auto pending = std::make_shared<QHttpServerResponder>(std::move(responder));
    QPointer<QTcpSocket> socket = pending->socket();
    const ProjectorConfig config = m_gateway.projector(index);
    m_gateway.sendFrom(
        origin, index, *command.command, [pending, socket, config](const Exchange& exchange) {
            if (!socket || socket->state() != QAbstractSocket::ConnectedState)
                return;
            QJsonObject object{{QStringLiteral("ok"), exchange.status == Exchange::Status::Ok}};
            if (!exchange.error.isEmpty())
                object.insert(QStringLiteral("error"), exchange.error);
            if (!exchange.sent.isEmpty() || exchange.status == Exchange::Status::Ok)
                object.insert(QStringLiteral("reply"),
                              exchangeJson(config.name, config.target, config.address, exchange));
            answerJson(*pending, statusFor(exchange), object);
        });
}

} // namespace tavo::gateway
