#include "HttpFront.h"

#include "GuardedTcpServer.h"
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
using Headers = QList<QPair<QByteArray, QByteArray>>;

void answer(QHttpServerResponder& responder, Status status, const QByteArray& type,
            const QByteArray& body, const Headers& extra = {}) {
    responder.writeStatusLine(status);
    responder.writeHeader("Content-Type", type);
    responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    responder.writeHeader("Cache-Control", "no-store");
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    for (const auto& [name, value] : extra)
        responder.writeHeader(name, value);
    responder.writeBody(body);
}

void answerJson(QHttpServerResponder& responder, Status status, const QJsonObject& object,
                const Headers& extra = {}) {
    answer(responder, status, "application/json",
           QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n', extra);
}

void answerError(QHttpServerResponder& responder, Status status, const QString& error,
                 const Headers& extra = {}) {
    answerJson(responder, status,
               QJsonObject{{QStringLiteral("ok"), false}, {QStringLiteral("error"), error}}, extra);
}

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

QJsonObject projectorJson(const Gateway& gateway, int index) {
    const ProjectorConfig& config = gateway.projector(index);
    const ProjectorState& state = gateway.state(index);
    QJsonObject object = stateJson(config, state);
    object.insert(QStringLiteral("name"), config.name);
    object.insert(QStringLiteral("available"), state.available);
    object.insert(QStringLiteral("port_open"), gateway.portOpen(index));
    return object;
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
    m_server->route("/metrics",
                    [this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
                        if (wrongMethod(request, responder, Method::Get))
                            return;
                        if (const QString why = refusal(request); !why.isEmpty())
                            return answerError(responder, Status::Forbidden, why);
                        answer(responder, Status::Ok, Metrics::contentType(), m_metrics.render());
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
    auto listener = std::make_unique<GuardedTcpServer>(limits);
    if (!listener->listen(m_options.address, m_options.port)) {
        m_error = QStringLiteral("cannot listen on %1 port %2: %3")
                      .arg(m_options.address.toString())
                      .arg(m_options.port)
                      .arg(listener->errorString());
        return false;
    }
    m_origins = ownOrigins(m_options.address, listener->serverPort());
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
        if (wrongMethod(request, responder, Method::Get))
            return;
        if (const QString why = refusal(request); !why.isEmpty())
            return answerError(responder, Status::Forbidden, why);
        page(request, std::move(responder));
    });
}

void HttpFront::addForm(const QString& path, Page form) {
    m_server->route(path, [this, form = std::move(form)](const QHttpServerRequest& request,
                                                         QHttpServerResponder&& responder) {
        if (wrongMethod(request, responder, Method::Post))
            return;
        if (const QString why = refusal(request); !why.isEmpty())
            return answerError(responder, Status::Forbidden, why);
        if (request.body().size() > kBodyLimit)
            return answerError(responder, Status::PayloadTooLarge,
                               QStringLiteral("the body is longer than %1 bytes").arg(kBodyLimit));
        form(request, std::move(responder));
    });
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
    if (wrongMethod(request, responder, Method::Get))
        return;
    if (const QString why = refusal(request); !why.isEmpty())
        return answerError(responder, Status::Forbidden, why);
    QJsonArray projectors;
    for (int i = 0; i < m_gateway.projectorCount(); ++i)
        projectors.append(projectorJson(m_gateway, i));
    answerJson(responder, Status::Ok,
               QJsonObject{{QStringLiteral("site"), m_gateway.site().name},
                           {QStringLiteral("projectors"), projectors}});
}

void HttpFront::showProjector(const QString& name, const QHttpServerRequest& request,
                              QHttpServerResponder&& responder) {
    if (wrongMethod(request, responder, Method::Get))
        return;
    if (const QString why = refusal(request); !why.isEmpty())
        return answerError(responder, Status::Forbidden, why);
    const int index = m_gateway.indexOf(name);
    if (index < 0)
        return answerError(responder, Status::NotFound, QStringLiteral("no such projector"));
    answerJson(responder, Status::Ok, projectorJson(m_gateway, index));
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
    if (wrongMethod(request, responder, Method::Post))
        return;
    if (const QString why = refusal(request); !why.isEmpty())
        return answerError(responder, Status::Forbidden, why);
    if (m_options.token.isEmpty())
        return answerError(responder, Status::Forbidden,
                           QStringLiteral("the HTTP side is read-only: the gateway was started "
                                          "without --http-token-file"));
    if (!bearerMatches(request.value("authorization"), m_options.token))
        return answerError(responder, Status::Unauthorized,
                           QStringLiteral("a write needs the header Authorization: Bearer and "
                                          "the gateway's token"),
                           {{"WWW-Authenticate", "Bearer"}});
    const int index = m_gateway.indexOf(name);
    if (index < 0)
        return answerError(responder, Status::NotFound, QStringLiteral("no such projector"));
    const QByteArray body = request.body();
    if (body.size() > kBodyLimit)
        return answerError(responder, Status::PayloadTooLarge,
                           QStringLiteral("the body is longer than %1 bytes").arg(kBodyLimit));
    const BodyCommand command = parse(body);
    if (!command.command)
        return answerError(responder, Status::BadRequest, command.error);

    // Answered when the projector has; the client may be gone by then, and so may its socket.
    auto pending = std::make_shared<QHttpServerResponder>(std::move(responder));
    QPointer<QTcpSocket> socket = pending->socket();
    const ProjectorConfig config = m_gateway.projector(index);
    m_gateway.submit(index, *command.command, [pending, socket, config](const Exchange& exchange) {
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
