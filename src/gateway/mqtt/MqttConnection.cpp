#include "MqttConnection.h"

#include "MosquittoTurn.h"
#include "MqttClient.h"

#include <QMetaObject>

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/eventfd.h>
#include <unistd.h>

namespace tavo {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kLoopTimeoutMs = 200;          // how soon a stop request is seen
constexpr milliseconds kFirstPause{500};     // between attempts, doubling...
constexpr milliseconds kLongestPause{30000}; // ...up to this
// A connection that ends sooner than this (a broker that accepts and then
// throws us out, another client with our id) does not reset the pause.
constexpr auto kSteadyConnection = std::chrono::seconds(10);
constexpr auto kConnackTimeout = std::chrono::seconds(10);
constexpr auto kFinalWait = std::chrono::seconds(2);
constexpr auto kDisconnectWait = std::chrono::seconds(1);

void initLibraryOnce() {
    // Never cleaned up: threads left behind by a bounded stop may still use it.
    static const int once = mosquitto_lib_init();
    (void)once;
}

QString describe(int rc, int savedErrno) {
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(std::strerror(savedErrno));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

MqttConnection* self(void* userdata) {
    return static_cast<MqttConnection*>(userdata);
}

} // namespace

struct MqttConnection::Session {
    bool up = false;
    Clock::time_point upSince;
    bool finalQueued = false;
    Clock::time_point finalDeadline;
    bool disconnectSent = false;
    Clock::time_point disconnectDeadline;
};

MqttConnection::MqttConnection(MqttOptions options) : m_options(std::move(options)) {
    initLibraryOnce();
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    const QByteArray id = m_options.clientId.toUtf8();
    m_mosq = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), true, this);
    if (!m_mosq)
        return;
    mosquitto_threaded_set(m_mosq, true);
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // Small messages (a command's acknowledgement, a state) leave at once rather than waiting
    // for the broker's acknowledgement of the last one.
    mosquitto_int_option(m_mosq, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(m_mosq, &MqttConnection::onConnect);
    mosquitto_disconnect_callback_set(m_mosq, &MqttConnection::onDisconnect);
    mosquitto_publish_callback_set(m_mosq, &MqttConnection::onPublish);
    mosquitto_message_callback_set(m_mosq, &MqttConnection::onMessage);
}

MqttConnection::~MqttConnection() {
    if (m_mosq)
        mosquitto_destroy(m_mosq);
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

template <typename F> void MqttConnection::post(F&& f) {
    std::lock_guard lock(m_mutex);
    if (m_receiver)
        QMetaObject::invokeMethod(
            m_receiver, [receiver = m_receiver, f = std::forward<F>(f)] { f(*receiver); },
            Qt::QueuedConnection);
}

void MqttConnection::setReceiver(MqttClient* receiver) {
    std::lock_guard lock(m_mutex);
    m_receiver = receiver;
}

void MqttConnection::requestStop(const QByteArray& finalTopic, const QByteArray& finalPayload) {
    {
        std::lock_guard lock(m_mutex);
        if (m_stop != Stop::None)
            return;
        m_stop = Stop::Final;
        m_finalTopic = finalTopic;
        m_finalPayload = finalPayload;
    }
    m_wake.notify_all();
    wakeMosquittoTurn(m_wakeFd);
}

void MqttConnection::requestAbort() {
    {
        std::lock_guard lock(m_mutex);
        if (m_stop == Stop::None)
            m_stop = Stop::Abort;
    }
    m_wake.notify_all();
    wakeMosquittoTurn(m_wakeFd);
}

bool MqttConnection::waitUntilDone(milliseconds bound) {
    std::unique_lock lock(m_mutex);
    return m_wake.wait_for(lock, bound, [this] { return m_done; });
}

bool MqttConnection::isConnected() const {
    std::lock_guard lock(m_mutex);
    return m_connected && m_stop == Stop::None;
}

bool MqttConnection::publish(const QByteArray& topic, const QByteArray& payload, bool retain,
                             int qos) {
    std::lock_guard handle(m_handleMutex);
    if (!m_mosq || !isConnected())
        return false;
    const bool queued = mosquitto_publish(m_mosq, nullptr, topic.constData(), int(payload.size()),
                                          payload.constData(), qos, retain) == MOSQ_ERR_SUCCESS;
    wakeMosquittoTurn(m_wakeFd);
    return queued;
}

void MqttConnection::subscribe(const QByteArray& filter, int qos) {
    std::lock_guard handle(m_handleMutex);
    bool sendNow = false;
    {
        std::lock_guard lock(m_mutex);
        auto known = std::find_if(m_subscriptions.begin(), m_subscriptions.end(),
                                  [&](const auto& entry) { return entry.first == filter; });
        if (known != m_subscriptions.end())
            known->second = qos;
        else
            m_subscriptions.emplace_back(filter, qos);
        // Read together with the list: either onConnect's copy has it, or
        // the connection is up and it goes now. Never both, never neither.
        sendNow = m_connected;
    }
    if (sendNow && m_mosq) {
        mosquitto_subscribe(m_mosq, nullptr, filter.constData(), qos);
        wakeMosquittoTurn(m_wakeFd);
    }
}

MqttConnection::Stop MqttConnection::stopState() const {
    std::lock_guard lock(m_mutex);
    return m_stop;
}

void MqttConnection::run() {
    milliseconds pause = kFirstPause;
    while (stopState() == Stop::None) {
        Session session;
        QString reason = prepareAttempt();
        if (reason.isEmpty())
            reason = runSession(session);
        if (stopState() != Stop::None)
            break;
        if (session.up) {
            if (Clock::now() - session.upSince >= kSteadyConnection)
                pause = kFirstPause;
            post([reason](MqttClient& client) { emit client.disconnected(reason); });
        } else {
            post([reason, ms = int(pause.count())](MqttClient& client) {
                emit client.connectionFailed(reason, ms);
            });
        }
        waitBeforeRetry(pause);
        pause = std::min(pause * 2, kLongestPause);
    }
    finish();
}

QString MqttConnection::prepareAttempt() {
    if (!m_mosq)
        return QStringLiteral("the MQTT library could not make a client");
    // The will is set before every connect: the library keeps it, but a
    // reconnect must never go out without one.
    const QByteArray willTopic = m_options.willTopic.toUtf8();
    int rc =
        willTopic.isEmpty()
            ? mosquitto_will_clear(m_mosq)
            : mosquitto_will_set(m_mosq, willTopic.constData(), int(m_options.willPayload.size()),
                                 m_options.willPayload.constData(), 1, m_options.willRetain);
    if (rc != MOSQ_ERR_SUCCESS)
        return QStringLiteral("the will: %1").arg(describe(rc, errno));
    const QByteArray user = m_options.user.toUtf8();
    const QByteArray password = m_options.password.toUtf8();
    rc = mosquitto_username_pw_set(m_mosq, user.isEmpty() ? nullptr : user.constData(),
                                   password.isEmpty() ? nullptr : password.constData());
    if (rc != MOSQ_ERR_SUCCESS)
        return QStringLiteral("the user name: %1").arg(describe(rc, errno));
    if (m_options.tls) {
        const QByteArray caFile = m_options.caFile.toUtf8();
        const QByteArray certFile = m_options.certFile.toUtf8();
        const QByteArray keyFile = m_options.keyFile.toUtf8();
        const char* cert = certFile.isEmpty() ? nullptr : certFile.constData();
        const char* key = keyFile.isEmpty() ? nullptr : keyFile.constData();
        if (caFile.isEmpty()) {
            rc = mosquitto_int_option(m_mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
            // The library takes a client certificate only with a CA file or directory.
            if (rc == MOSQ_ERR_SUCCESS && cert)
                rc = mosquitto_tls_set(m_mosq, nullptr, "/etc/ssl/certs", cert, key, nullptr);
        } else {
            rc = mosquitto_tls_set(m_mosq, caFile.constData(), nullptr, cert, key, nullptr);
        }
        if (rc != MOSQ_ERR_SUCCESS)
            return QStringLiteral("TLS set-up: %1").arg(describe(rc, errno));
    }
    return {};
}

QString MqttConnection::runSession(Session& session) {
    m_connackCode = -1;
    const QByteArray host = m_options.host.toUtf8();
    const auto connackDeadline = Clock::now() + kConnackTimeout;
    // Any socket left by the previous attempt is closed in here.
    int rc = mosquitto_connect_async(m_mosq, host.constData(), m_options.port,
                                     std::max(5, m_options.keepaliveSeconds));
    if (rc != MOSQ_ERR_SUCCESS)
        return describe(rc, errno);
    for (;;) {
        QString reason;
        if (stepStop(session, &reason))
            return reason;
        rc = mosquittoTurn(m_mosq, m_wakeFd, kLoopTimeoutMs);
        const int savedErrno = errno;
        if (m_connackCode == 0 && !session.up) {
            session.up = true;
            session.upSince = Clock::now();
        }
        if (m_connackCode > 0)
            return QString::fromUtf8(mosquitto_connack_string(m_connackCode));
        if (rc != MOSQ_ERR_SUCCESS)
            return describe(rc, savedErrno);
        if (!session.up && Clock::now() > connackDeadline)
            return QStringLiteral("the broker did not answer within %1 s")
                .arg(std::chrono::seconds(kConnackTimeout).count());
    }
}

// A clean stop: the final message, then DISCONNECT once the broker has it.
// Undelivered, the connection is just dropped so that the will tells the truth.
bool MqttConnection::stepStop(Session& session, QString* reason) {
    const Stop stop = stopState();
    if (stop == Stop::None)
        return false;
    *reason = QStringLiteral("stopped");
    if (stop == Stop::Abort || !session.up)
        return true;
    const auto now = Clock::now();
    if (!session.finalQueued) {
        session.finalQueued = true;
        session.finalDeadline = now + kFinalWait;
        QByteArray topic, payload;
        {
            std::lock_guard lock(m_mutex);
            topic = m_finalTopic;
            payload = m_finalPayload;
        }
        // No final message: a gateway that leaves a site to another says nothing on the way.
        if (topic.isEmpty()) {
            std::lock_guard lock(m_mutex);
            m_finalDelivered = true;
        }
        int mid = -1;
        // Only queued here; onPublish runs later on this thread, in the loop.
        if (!topic.isEmpty() &&
            mosquitto_publish(m_mosq, &mid, topic.constData(), int(payload.size()),
                              payload.constData(), 1, true) != MOSQ_ERR_SUCCESS)
            return true;
        std::lock_guard lock(m_mutex);
        if (!topic.isEmpty())
            m_finalMid = mid;
    }
    if (!session.disconnectSent) {
        bool delivered = false;
        {
            std::lock_guard lock(m_mutex);
            delivered = m_finalDelivered;
        }
        if (delivered) {
            session.disconnectSent = true;
            session.disconnectDeadline = now + kDisconnectWait;
            return mosquitto_disconnect(m_mosq) != MOSQ_ERR_SUCCESS;
        }
        return now > session.finalDeadline;
    }
    return now > session.disconnectDeadline;
}

void MqttConnection::waitBeforeRetry(milliseconds pause) {
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, pause, [this] { return m_stop != Stop::None; });
}

void MqttConnection::finish() {
    {
        // Closes the socket; without a DISCONNECT sent, the broker sends the will.
        std::lock_guard handle(m_handleMutex);
        mosquitto_destroy(m_mosq);
        m_mosq = nullptr;
    }
    {
        std::lock_guard lock(m_mutex);
        m_connected = false;
        m_done = true;
    }
    m_wake.notify_all();
    post([](MqttClient& client) { client.onWorkerFinished(); });
}

void MqttConnection::onConnect(mosquitto* mosq, void* userdata, int rc) {
    MqttConnection* connection = self(userdata);
    connection->m_connackCode = rc;
    if (rc != 0)
        return;
    std::vector<std::pair<QByteArray, int>> subscriptions;
    {
        std::lock_guard lock(connection->m_mutex);
        connection->m_connected = true;
        subscriptions = connection->m_subscriptions;
    }
    for (const auto& [filter, qos] : subscriptions)
        mosquitto_subscribe(mosq, nullptr, filter.constData(), qos);
    connection->post([](MqttClient& client) { emit client.connected(); });
}

void MqttConnection::onDisconnect(mosquitto*, void* userdata, int) {
    MqttConnection* connection = self(userdata);
    std::lock_guard lock(connection->m_mutex);
    connection->m_connected = false;
}

void MqttConnection::onPublish(mosquitto*, void* userdata, int mid) {
    MqttConnection* connection = self(userdata);
    std::lock_guard lock(connection->m_mutex);
    if (mid == connection->m_finalMid)
        connection->m_finalDelivered = true;
}

void MqttConnection::onMessage(mosquitto*, void* userdata, const mosquitto_message* message) {
    const QString topic = QString::fromUtf8(message->topic);
    const QByteArray payload(static_cast<const char*>(message->payload), message->payloadlen);
    const bool retained = message->retain;
    self(userdata)->post([topic, payload, retained](MqttClient& client) {
        emit client.messageReceived(topic, payload, retained);
    });
}

} // namespace tavo
