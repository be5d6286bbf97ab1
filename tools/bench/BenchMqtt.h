#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

struct mosquitto;

// A plain libmosquitto client on its own network thread, for the benchmarks: messages are
// stamped the moment the library hands them over, on that thread, with no event loop between.
// The thread waits in poll() as the gateway's does: the benchmark holds thousands of lines, and
// libmosquitto's own loop refuses a socket numbered 1024 or above.
class BenchMqtt {
public:
    using Clock = std::chrono::steady_clock;
    using OnMessage =
        std::function<void(const QString& topic, const QByteArray& payload, Clock::time_point at)>;

    BenchMqtt(const QString& id, OnMessage onMessage);
    ~BenchMqtt();
    BenchMqtt(const BenchMqtt&) = delete;
    BenchMqtt& operator=(const BenchMqtt&) = delete;

    // Connects to 127.0.0.1:port and subscribes to `filter` (QoS 1); waits up to five seconds
    // for the subscription to be granted.
    bool connect(quint16 port, const QString& filter);
    bool publish(const QString& topic, const QByteArray& payload);

private:
    mosquitto* m_client = nullptr;
    OnMessage m_onMessage;
    std::atomic<bool> m_subscribed{false};
    int m_wakeFd = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_loop;
};
