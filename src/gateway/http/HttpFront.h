#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QSslConfiguration>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QHttpServer;
class QHttpServerRequest;
class QHttpServerResponder;

namespace tavo::gateway {

class Gateway;
class GuardedTcpServer;
class Metrics;

struct HttpOptions {
    QHostAddress address = QHostAddress::LocalHost;
    quint16 port = 0; // 0: a free port, see HttpFront::port()
    QByteArray token; // what writes must carry; empty: the HTTP side is read-only
    int maxConnections = 64;
    int requestMs = 5000; // a request, head and body, must be whole this long after its start
    int idleMs = 30000;
    std::optional<QSslConfiguration> tls; // HTTPS with this, plain HTTP without
};

// The gateway on HTTP:
//   GET  /metrics                         Prometheus' text format
//   GET  /api/projectors                  {"site":…,"projectors":[{name, available, port_open,
//                                          …stateJson}]}
//   GET  /api/projectors/NAME             one of them
//   POST /api/projectors/NAME/power       body on|off
//   POST /api/projectors/NAME/input       body 1..4
//   POST /api/projectors/NAME/send        body: a command as typed in the console
// Writes go through Gateway::submit and answer {"ok":true,"reply":{exchangeJson}} (200), or
// {"ok":false,"error":…} with 400 (bad body), 401 (token missing or wrong), 403 (read-only,
// foreign Origin or Host), 404 (no such projector), 405, 413 (body over kBodyLimit), 502 (the
// line failed or is not open), 503 (too many commands wait already: PortPoller's bounds) or 504
// (no reply in time); a reply object rides along whenever the command went out.
class HttpFront : public QObject {
    Q_OBJECT

public:
    static constexpr int kBodyLimit = 1024;

    HttpFront(Gateway& gateway, const Metrics& metrics, HttpOptions options,
              QObject* parent = nullptr);
    ~HttpFront() override;

    // Starts listening on the options' address and port; false with errorString() otherwise.
    bool listen();
    QString errorString() const { return m_error; }
    quint16 port() const;
    // Connections open now, for a status page.
    int connections() const;
    // What a browser sends as Origin for pages from here; anything else is refused.
    QStringList origins() const { return m_origins; }

    // Another GET page (a status page at "/"), behind the same Origin and Host checks. Pages
    // added after listen() are served too.
    using Page =
        std::function<void(const QHttpServerRequest& request, QHttpServerResponder&& responder)>;
    void addPage(const QString& path, Page page);
    // A POST endpoint for a page's forms, behind the same checks; a body over kBodyLimit is
    // answered 413 before `form` sees it.
    void addForm(const QString& path, Page form);

private:
    // Every route's guard: the method it takes, then the origin and host (refusal()). False when
    // it has answered the request itself.
    enum class Verb { Get, Post };
    bool admitted(const QHttpServerRequest& request, QHttpServerResponder& responder,
                  Verb verb) const;
    // Why a request from this origin and host may not be served, or empty.
    QString refusal(const QHttpServerRequest& request) const;
    void listProjectors(const QHttpServerRequest& request, QHttpServerResponder&& responder);
    void showProjector(const QString& name, const QHttpServerRequest& request,
                       QHttpServerResponder&& responder);
    void act(const QString& name, const QString& action, const QHttpServerRequest& request,
             QHttpServerResponder&& responder);

    Gateway& m_gateway;
    const Metrics& m_metrics;
    HttpOptions m_options;
    std::unique_ptr<QHttpServer> m_server;
    GuardedTcpServer* m_listener = nullptr; // owned by m_server once bound
    QStringList m_origins;
    QString m_error;
};

} // namespace tavo::gateway
