#include "BenchMqtt.h"

#include "MosquittoTurn.h"

#include <mosquitto.h>

#include <atomic>
#include <thread>

#include <sys/eventfd.h>
#include <unistd.h>

namespace {
std::atomic<int> g_users{0};
} // namespace

BenchMqtt::BenchMqtt(const QString& id, OnMessage onMessage) : m_onMessage(std::move(onMessage)) {
    if (g_users++ == 0)
        mosquitto_lib_init();
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_client = mosquitto_new(id.toUtf8().constData(), true, this);
    // Whatever the benchmark queues leaves from the network thread.
    mosquitto_threaded_set(m_client, true);
    // Our own sends leave at once; what the broker and the gateway do is what is measured.
    mosquitto_int_option(m_client, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_message_callback_set(m_client, [](mosquitto*, void* self,
                                                const mosquitto_message* message) {
        const auto at = Clock::now();
        auto* me = static_cast<BenchMqtt*>(self);
        if (me->m_onMessage)
            me->m_onMessage(
                QString::fromUtf8(message->topic),
                QByteArray(static_cast<const char*>(message->payload), message->payloadlen), at);
    });
    mosquitto_subscribe_callback_set(m_client, [](mosquitto*, void* self, int, int, const int*) {
        static_cast<BenchMqtt*>(self)->m_subscribed = true;
    });
}

BenchMqtt::~BenchMqtt() {
    if (m_client) {
        m_stop = true;
        tavo::wakeMosquittoTurn(m_wakeFd);
        if (m_loop.joinable())
            m_loop.join();
        mosquitto_destroy(m_client);
    }
    ::close(m_wakeFd);
    if (--g_users == 0)
        mosquitto_lib_cleanup();
}

bool BenchMqtt::connect(quint16 port, const QString& filter) {
    if (!m_client || mosquitto_connect(m_client, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS)
        return false;
    if (mosquitto_subscribe(m_client, nullptr, filter.toUtf8().constData(), 1) != MOSQ_ERR_SUCCESS)
        return false;
    m_loop = std::thread([this] {
        while (!m_stop && tavo::mosquittoTurn(m_client, m_wakeFd, 100) == MOSQ_ERR_SUCCESS) {
        }
    });
    tavo::wakeMosquittoTurn(m_wakeFd);
    for (int i = 0; i < 500 && !m_subscribed; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return m_subscribed;
}

bool BenchMqtt::publish(const QString& topic, const QByteArray& payload) {
    const bool queued =
        mosquitto_publish(m_client, nullptr, topic.toUtf8().constData(), int(payload.size()),
                          payload.constData(), 1, false) == MOSQ_ERR_SUCCESS;
    tavo::wakeMosquittoTurn(m_wakeFd);
    return queued;
}
