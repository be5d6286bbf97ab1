#pragma once

#include "MqttOptions.h"

#include <QObject>

#include <memory>
#include <thread>

namespace tavo {

class MqttConnection;

// The gateway's connection to its broker. It connects in the background and
// keeps reconnecting, with a growing pause, for as long as it lives; every
// signal arrives on the thread that made it. A broker that is down, slow or
// unreachable never holds up that thread.
class MqttClient : public QObject {
    Q_OBJECT
public:
    explicit MqttClient(MqttOptions options, QObject* parent = nullptr);
    // Ends the connection at once without a DISCONNECT, so the broker sends
    // the will; waits a bounded time for the connection's thread.
    ~MqttClient() override;

    // Once. Returns at once; connected() follows when the broker answers.
    void start();
    // Publishes `finalTopic` = `finalPayload` retained, waits (about two
    // seconds at most) for the broker to take it, then disconnects cleanly so
    // the will is not sent, then emits stopped(). If the final message cannot
    // be delivered the connection is dropped instead, and the will stands.
    // An empty `finalTopic` publishes nothing and just disconnects cleanly.
    void stopWith(const QString& finalTopic, const QByteArray& finalPayload);

    bool isConnected() const;
    // Returns false, and drops the message, while not connected: the caller
    // republishes its retained state on connected().
    bool publish(const QString& topic, const QByteArray& payload, bool retain, int qos = 1);
    // Remembered and sent again on every reconnect.
    void subscribe(const QString& filter, int qos = 1);

signals:
    // The broker accepted us and the subscriptions are on their way.
    void connected();
    void disconnected(const QString& reason);
    // An attempt failed; the next one comes in `retryInMs`.
    void connectionFailed(const QString& reason, int retryInMs);
    void messageReceived(const QString& topic, const QByteArray& payload, bool retained);
    void stopped();

private:
    friend class MqttConnection;
    void onWorkerFinished();

    std::shared_ptr<MqttConnection> m_connection;
    std::thread m_worker;
    bool m_started = false;
    bool m_stopping = false;
};

} // namespace tavo
