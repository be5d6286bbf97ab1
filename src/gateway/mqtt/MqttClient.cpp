#include "MqttClient.h"

#include "MqttConnection.h"

namespace tavo {

namespace {

// Covers a clean stop under way (final message, then DISCONNECT); a thread
// still stuck in a name look-up after this is left to finish on its own.
constexpr std::chrono::milliseconds kStopBound{3500};

} // namespace

MqttClient::MqttClient(MqttOptions options, QObject* parent)
    : QObject(parent), m_connection(std::make_shared<MqttConnection>(std::move(options))) {
    m_connection->setReceiver(this);
}

MqttClient::~MqttClient() {
    m_connection->setReceiver(nullptr);
    if (!m_worker.joinable())
        return;
    m_connection->requestAbort();
    if (m_connection->waitUntilDone(kStopBound))
        m_worker.join();
    else
        m_worker.detach(); // it holds its own share of the connection
}

void MqttClient::start() {
    if (m_started || m_stopping)
        return;
    m_started = true;
    m_worker = std::thread([connection = m_connection] { connection->run(); });
}

void MqttClient::stopWith(const QString& finalTopic, const QByteArray& finalPayload) {
    if (m_stopping)
        return;
    m_stopping = true;
    if (!m_started) {
        QMetaObject::invokeMethod(
            this, [this] { emit stopped(); }, Qt::QueuedConnection);
        return;
    }
    m_connection->requestStop(finalTopic.toUtf8(), finalPayload);
}

bool MqttClient::isConnected() const {
    return m_connection->isConnected();
}

bool MqttClient::publish(const QString& topic, const QByteArray& payload, bool retain, int qos) {
    return m_connection->publish(topic.toUtf8(), payload, retain, qos);
}

void MqttClient::subscribe(const QString& filter, int qos) {
    m_connection->subscribe(filter.toUtf8(), qos);
}

void MqttClient::onWorkerFinished() {
    // The thread posts this as its last act, so the join is immediate.
    if (m_worker.joinable())
        m_worker.join();
    if (m_stopping)
        emit stopped();
}

} // namespace tavo
