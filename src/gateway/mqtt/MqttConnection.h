#pragma once

#include "MqttOptions.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace tavo {

class MqttClient;

// One libmosquitto handle and the loop that drives it on a thread of its own
// (libmosquitto's threaded mode: the client's thread may publish while the
// loop runs, and an eventfd of ours wakes the loop).
//
// Why a thread and not socket notifiers on the Qt thread: connecting looks the
// broker's name up synchronously even in mosquitto_connect_async, and handing
// libmosquitto an address resolved elsewhere would make TLS check the
// certificate against that address instead of the name. The thread may wait
// on a look-up or a stalled connect; the Qt thread never waits on it, except
// briefly, and bounded, when the client is destroyed.
//
// Shared by the client and the thread, so whichever finishes last frees it.
class MqttConnection {
public:
    explicit MqttConnection(MqttOptions options);
    ~MqttConnection();
    MqttConnection(const MqttConnection&) = delete;
    MqttConnection& operator=(const MqttConnection&) = delete;

    // The thread's body.
    void run();

    // Called on the client's thread.
    void setReceiver(MqttClient* receiver);
    void requestStop(const QByteArray& finalTopic, const QByteArray& finalPayload);
    void requestAbort();
    bool waitUntilDone(std::chrono::milliseconds bound);
    bool isConnected() const;
    bool publish(const QByteArray& topic, const QByteArray& payload, bool retain, int qos);
    void subscribe(const QByteArray& filter, int qos);

private:
    enum class Stop { None, Final, Abort };
    struct Session;

    QString prepareAttempt();
    QString runSession(Session& session);
    bool stepStop(Session& session, QString* reason);
    void waitBeforeRetry(std::chrono::milliseconds pause);
    void finish();
    Stop stopState() const;
    template <typename F> void post(F&& f);

    static void onConnect(mosquitto*, void* self, int rc);
    static void onDisconnect(mosquitto*, void* self, int rc);
    static void onPublish(mosquitto*, void* self, int mid);
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message);

    const MqttOptions m_options;
    // Written by the client's thread after it queued something; the loop waits on it too.
    int m_wakeFd = -1;

    // The handle lives until the thread ends; the client's calls hold this
    // lock while they use it. It is never taken inside a libmosquitto call
    // or callback, so it cannot close a cycle with the library's own locks.
    mutable std::mutex m_handleMutex;
    mosquitto* m_mosq = nullptr;

    // Everything below. Never held while calling into libmosquitto.
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    MqttClient* m_receiver = nullptr;
    std::vector<std::pair<QByteArray, int>> m_subscriptions;
    bool m_connected = false;
    Stop m_stop = Stop::None;
    QByteArray m_finalTopic;
    QByteArray m_finalPayload;
    int m_finalMid = -1;
    bool m_finalDelivered = false;
    bool m_done = false;

    // The thread's own: what the callbacks of the session under way saw.
    int m_connackCode = -1;
};

} // namespace tavo
