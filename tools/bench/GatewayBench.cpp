#include "GatewayBench.h"

#include "BenchMqtt.h"
#include "GatewayRig.h"
#include "PjlinkPool.h"
#include "ProcessProbe.h"
#include "ProjectorBank.h"
#include "Stats.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

double usBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::micro>(to - from).count();
}

int fail(const QString& why) {
    std::fprintf(stderr, "mx7300-gateway-bench: %s\n", qPrintable(why));
    return 1;
}

void reportSummary(const QString& prefix, const std::vector<double>& us) {
    const Summary s = summarise(us);
    report(qPrintable(prefix + QStringLiteral("_count")), s.count, 0);
    report(qPrintable(prefix + QStringLiteral("_p50_us")), s.p50, 0);
    report(qPrintable(prefix + QStringLiteral("_p99_us")), s.p99, 0);
    report(qPrintable(prefix + QStringLiteral("_max_us")), s.max, 0);
}

// GET `path` from the gateway's HTTP side; the body, or empty.
QByteArray httpGet(quint16 port, const QByteArray& path) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    timeval timeout{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    QByteArray reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const QByteArray request = "GET " + path +
                                   " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
                                   "\r\nConnection: close\r\n\r\n";
        if (::write(fd, request.constData(), size_t(request.size())) == ssize_t(request.size())) {
            char buffer[65536];
            ssize_t n;
            while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
                reply.append(buffer, int(n));
                const qsizetype head = reply.indexOf("\r\n\r\n");
                const qsizetype at = reply.toLower().indexOf("content-length:");
                if (head > 0 && at > 0 && at < head) {
                    const qsizetype end = reply.indexOf("\r\n", at);
                    const qsizetype length =
                        reply.mid(at + 15, end - at - 15).trimmed().toLongLong();
                    if (reply.size() >= head + 4 + length)
                        break;
                }
            }
        }
    }
    ::close(fd);
    const qsizetype head = reply.indexOf("\r\n\r\n");
    return head < 0 ? QByteArray() : reply.mid(head + 4);
}

// Every projector's age (seconds since its state was last read), from /api/projectors; a
// projector never read or offline counts as infinitely old.
struct Freshness {
    int projectors = 0;
    int available = 0;
    double oldestSeconds = 0;
};

Freshness freshness(quint16 httpPort) {
    Freshness f;
    const QByteArray body = httpGet(httpPort, "/api/projectors");
    const QJsonObject site = QJsonDocument::fromJson(body).object();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const QJsonValue& value : site.value(QStringLiteral("projectors")).toArray()) {
        const QJsonObject p = value.toObject();
        ++f.projectors;
        const QDateTime updated =
            QDateTime::fromString(p.value(QStringLiteral("updated")).toString(), Qt::ISODateWithMs);
        const bool up = p.value(QStringLiteral("available")).toBool(true) && updated.isValid();
        f.available += up ? 1 : 0;
        f.oldestSeconds = std::max(f.oldestSeconds, up ? updated.msecsTo(now) / 1000.0 : 1e9);
    }
    return f;
}

double cpuMs(qint64 pid) {
    return cpuUse(pid_t(pid)).scheduledMs;
}

long peakRssKb(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

} // namespace

// Home Assistant's discovery configs leave in paced batches after the start (at 5,000 projectors
// for more than a minute), each one echoed back to the gateway's own subscription. The hold
// measures polling, so it begins once they are all out. Seconds from `since` to the last config,
// and how many came; false when they never stopped within ten minutes.
struct DiscoveryDone {
    double seconds = 0;
    long configs = 0;
};
bool awaitDiscovery(quint16 brokerPort, Clock::time_point since, DiscoveryDone* done) {
    std::atomic<long> configs{0};
    std::atomic<Clock::rep> last{since.time_since_epoch().count()};
    BenchMqtt client(QStringLiteral("bench-discovery"),
                     [&](const QString&, const QByteArray& payload, Clock::time_point at) {
                         if (payload.isEmpty())
                             return;
                         ++configs;
                         last = at.time_since_epoch().count();
                     });
    if (!client.connect(brokerPort, QStringLiteral("homeassistant/#")))
        return false;
    // A batch leaves every 50 ms while any are left: two quiet seconds mean all are out.
    const auto lastAt = [&last] { return Clock::time_point(Clock::duration(last.load())); };
    for (int i = 0; i < 6000; ++i) {
        runEventsFor(100);
        if (configs > 0 && Clock::now() - lastAt() > std::chrono::seconds(2)) {
            done->seconds = usBetween(since, lastAt()) / 1e6;
            done->configs = configs;
            return true;
        }
    }
    return false;
}

int runCommandBench(const QString& csvDir, const CommandOptions& o) {
    ProjectorBank bank(1, 1, 0, 9600);
    if (!bank.isValid())
        return fail(bank.errorString());
    std::atomic<Clock::rep> armedAt{0};
    std::atomic<Clock::rep> arrivedAt{0};
    bank.setOnBytes([&](int, Clock::time_point at, const QByteArray& bytes) {
        const Clock::rep armed = armedAt.load();
        if (armed != 0 && bytes.startsWith("C0")) {
            arrivedAt = at.time_since_epoch().count();
            armedAt = 0;
        }
    });
    bank.start();
    GatewayRig::Options options;
    options.pollSeconds = 3600;
    options.brokerNoDelay = o.brokerNoDelay;
    GatewayRig rig(bank, 1, options);
    QString error;
    if (!rig.start(&error))
        return fail(error);
    std::atomic<bool> online{false};
    BenchMqtt client(QStringLiteral("bench-command"),
                     [&](const QString&, const QByteArray& payload, Clock::time_point) {
                         online = online || payload.contains("\"power\":\"");
                     });
    if (!client.connect(rig.brokerPort(), rig.stateTopic(0, 0)))
        return fail(QStringLiteral("cannot subscribe on the broker"));
    for (int i = 0; i < 500 && !online; ++i)
        runEventsFor(10);
    if (!online)
        return fail(QStringLiteral("no state from the gateway: ") +
                    QString::fromLocal8Bit(rig.log()));

    // The floor: the same message between two plain clients through the same broker, at
    // moments drawn the same way, between the commands: what no gateway behind it can beat.
    std::atomic<Clock::rep> floorAt{0};
    BenchMqtt floorReceiver(QStringLiteral("bench-floor-receiver"),
                            [&](const QString&, const QByteArray&, Clock::time_point at) {
                                floorAt = at.time_since_epoch().count();
                            });
    BenchMqtt floorSender(QStringLiteral("bench-floor-sender"), {});
    if (!floorReceiver.connect(rig.brokerPort(), QStringLiteral("bench-floor/set/power")) ||
        !floorSender.connect(rig.brokerPort(), QStringLiteral("bench-floor/nothing")))
        return fail(QStringLiteral("cannot subscribe on the broker"));

    const QString topic = rig.topic(0, 0, QStringLiteral("set/power"));
    QRandomGenerator random(7300);
    std::vector<double> us;
    std::vector<double> floorUs;
    const int warmup = 10;
    // The line quiet for quietMs: the reads after the last command are over (at 250 ms their
    // state message too; at 50 ms it is still on its way out). Then a random moment.
    auto awaitMoment = [&] {
        while (Clock::now() - bank.lastTraffic() < std::chrono::milliseconds(o.quietMs))
            runEventsFor(1);
        runEventsFor(int(random.bounded(o.spanMs)));
    };
    // "on" or "off" published by `sender` until `at` is stamped: microseconds, or -1 and why.
    // `onLine`, for a command bound for the line, arms the line's stamp and says what failed.
    auto timeOne = [&](BenchMqtt& sender, const QString& to, std::atomic<Clock::rep>& at,
                       const char* onLine, int i, QString* why) -> double {
        at = 0;
        const Clock::time_point sent = Clock::now();
        if (onLine)
            armedAt = sent.time_since_epoch().count();
        if (!sender.publish(to, i % 2 ? "off" : "on")) {
            *why = QStringLiteral("publish failed");
            return -1;
        }
        for (int wait = 0; wait < 2000 && at == 0; ++wait)
            runEventsFor(1);
        if (at == 0) {
            *why = QLatin1String(onLine ? onLine : "the broker never passed the message on");
            return -1;
        }
        return usBetween(sent, Clock::time_point(Clock::duration(at.load())));
    };
    const QString floorTopic = QStringLiteral("bench-floor/set/power");
    for (int i = 0; i < o.samples + warmup; ++i) {
        QString why;
        awaitMoment();
        const double floorSample = timeOne(floorSender, floorTopic, floorAt, nullptr, i, &why);
        if (floorSample < 0)
            return fail(why);
        awaitMoment();
        const double sample =
            timeOne(client, topic, arrivedAt, "set/power never reached the line", i, &why);
        if (sample < 0)
            return fail(why);
        if (i >= warmup) {
            floorUs.push_back(floorSample);
            us.push_back(sample);
        }
    }
    bank.stop();
    writeColumn(QDir(csvDir).filePath(QStringLiteral("gateway-%1.csv").arg(o.tag)),
                QStringLiteral("set_power_to_wire_us"), us);
    writeColumn(QDir(csvDir).filePath(QStringLiteral("gateway-%1-floor.csv").arg(o.tag)),
                QStringLiteral("publish_to_subscriber_us"), floorUs);
    reportSummary(QStringLiteral("gw_") + o.tag, us);
    reportSummary(QStringLiteral("gw_") + o.tag + QStringLiteral("_floor"), floorUs);
    return 0;
}

int runStateBench(const QString& csvDir, int samples, int pollSeconds, int replyDelayMs) {
    ProjectorBank bank(1, 1, replyDelayMs, 9600);
    if (!bank.isValid())
        return fail(bank.errorString());
    bank.start();
    GatewayRig::Options options;
    options.pollSeconds = pollSeconds;
    GatewayRig rig(bank, 1, options);
    QString error;
    if (!rig.start(&error))
        return fail(error);
    std::mutex mutex;
    QString power;
    Clock::time_point powerAt;
    BenchMqtt client(QStringLiteral("bench-state"), [&](const QString&, const QByteArray& payload,
                                                        Clock::time_point at) {
        const QJsonValue value =
            QJsonDocument::fromJson(payload).object().value(QStringLiteral("power"));
        std::lock_guard<std::mutex> lock(mutex);
        if (value.isString() && value.toString() != power) {
            power = value.toString();
            powerAt = at;
        }
    });
    auto currentPower = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return std::make_pair(power, powerAt);
    };
    if (!client.connect(rig.brokerPort(), rig.stateTopic(0, 0)))
        return fail(QStringLiteral("cannot subscribe on the broker"));
    for (int i = 0; i < 500 && currentPower().first.isEmpty(); ++i)
        runEventsFor(10);
    if (currentPower().first.isEmpty())
        return fail(QStringLiteral("no state from the gateway: ") +
                    QString::fromLocal8Bit(rig.log()));

    QRandomGenerator random(7301);
    std::vector<double> us;
    bool on = false;
    for (int i = 0; i < samples; ++i) {
        // Any moment of the poll period.
        runEventsFor(int(random.bounded(pollSeconds * 1000)));
        const QString before = currentPower().first;
        on = !on;
        const Clock::time_point changed = Clock::now();
        bank.change(0, 0, [on](tavo::sim::ProjectorModel& model) {
            if (on)
                model.powerOn();
            else
                model.powerOff();
        });
        for (int wait = 0; wait < 300 * pollSeconds && currentPower().first == before; ++wait)
            runEventsFor(10);
        const auto [now, at] = currentPower();
        if (now == before)
            return fail(QStringLiteral("the state message never changed"));
        us.push_back(usBetween(changed, at));
    }
    bank.stop();
    writeColumn(QDir(csvDir).filePath(QStringLiteral("gateway-state.csv")),
                QStringLiteral("line_change_to_state_us"), us);
    report("gw_state_poll_s", pollSeconds, 0);
    report("gw_state_reply_delay_ms", replyDelayMs, 0);
    reportSummary(QStringLiteral("gw_state"), us);
    return 0;
}

int runScaleBench(const QString& csvDir, const ScaleOptions& o) {
    const QString tag = o.tag;
    auto name = [&tag](const char* leaf) { return tag + QLatin1Char('_') + QLatin1String(leaf); };
    ProjectorBank bank(o.lines, o.perLine, o.replyDelayMs, 9600);
    if (!bank.isValid())
        return fail(bank.errorString());
    std::atomic<long> commands{0};
    bank.setOnBytes([&commands](int, Clock::time_point, const QByteArray& bytes) {
        commands += long(bytes.count('\r'));
    });
    bank.start();
    GatewayRig::Options options;
    options.pollSeconds = o.pollSeconds;
    options.viaSer2netEvery = o.ser2netEvery;
    options.http = true;
    options.pjlink = o.pjlinkSeconds > 0;
    GatewayRig rig(bank, o.perLine, options);
    QString error;
    if (!rig.start(&error))
        return fail(error);
    const qint64 pid = rig.gatewayPid();
    const int projectors = o.lines * o.perLine;

    // Until every projector has been read once.
    const Clock::time_point started = Clock::now();
    Freshness f;
    for (int i = 0; i < 30 * o.pollSeconds; ++i) {
        runEventsFor(100);
        f = freshness(rig.httpPort());
        if (f.available == projectors)
            break;
    }
    if (f.available != projectors) {
        const QString logPath = QDir(csvDir).filePath(tag + QStringLiteral("-gateway.log"));
        QFile logFile(logPath);
        if (logFile.open(QIODevice::WriteOnly))
            logFile.write(rig.log());
        return fail(QStringLiteral("only %1 of %2 projectors online; the gateway's log is in %3")
                        .arg(f.available)
                        .arg(projectors)
                        .arg(logPath));
    }
    report(qPrintable(name("projectors")), projectors, 0);
    report(qPrintable(name("ports")), o.lines, 0);
    report(qPrintable(name("ser2net_ports")),
           o.ser2netEvery ? (o.lines + o.ser2netEvery - 1) / o.ser2netEvery : 0, 0);
    report(qPrintable(name("all_read_s")), usBetween(started, Clock::now()) / 1e6, 2);
    const double discoveryCpu0 = cpuMs(pid);
    const Clock::time_point discovery0 = Clock::now();
    DiscoveryDone discovery;
    if (!awaitDiscovery(rig.brokerPort(), started, &discovery))
        return fail(QStringLiteral("the discovery configs did not stop coming"));
    report(qPrintable(name("discovery_s")), discovery.seconds, 1);
    report(qPrintable(name("discovery_configs")), double(discovery.configs), 0);
    // From every projector read until the last config: polling and the configs' tail together.
    report(qPrintable(name("discovery_cpu_percent")),
           (cpuMs(pid) - discoveryCpu0) / (usBetween(discovery0, Clock::now()) / 1000) * 100, 2);
    runEventsFor(o.pollSeconds * 1000);

    // The hold: CPU and memory, and every projector's age sampled along the way.
    const double cpu0 = cpuMs(pid);
    const long commands0 = commands;
    const Clock::time_point hold0 = Clock::now();
    double oldest = 0;
    int minAvailable = projectors;
    // Not a divisor of the poll period, so the probes fall on every phase of it.
    const int probes = std::max(1, o.holdSeconds * 10 / 37);
    for (int i = 0; i < probes; ++i) {
        runEventsFor(o.holdSeconds * 1000 / probes);
        const Freshness now = freshness(rig.httpPort());
        oldest = std::max(oldest, now.oldestSeconds);
        minAvailable = std::min(minAvailable, now.available);
    }
    const double heldMs = usBetween(hold0, Clock::now()) / 1000;
    const double cpuPercent = (cpuMs(pid) - cpu0) / heldMs * 100;
    report(qPrintable(name("poll_s")), o.pollSeconds, 0);
    report(qPrintable(name("reply_delay_ms")), o.replyDelayMs, 0);
    report(qPrintable(name("hold_s")), heldMs / 1000, 1);
    report(qPrintable(name("cpu_percent")), cpuPercent, 2);
    report(qPrintable(name("exchanges_per_s")), (commands - commands0) / (heldMs / 1000), 1);
    // All of the gateway's CPU over the hold (HTTP probes and MQTT included) per line exchange.
    report(qPrintable(name("cpu_us_per_exchange")),
           (cpuMs(pid) - cpu0) * 1000 / std::max(1L, commands - commands0), 1);
    report(qPrintable(name("rss_kb")), double(residentKb(pid_t(pid))), 0);
    report(qPrintable(name("peak_rss_kb")), double(peakRssKb(pid)), 0);
    report(qPrintable(name("oldest_state_s")), oldest, 2);
    report(qPrintable(name("min_available")), minAvailable, 0);
    report(qPrintable(name("freshness_probes")), probes, 0);

    if (o.pjlinkSeconds > 0) {
        const double pjCpu0 = cpuMs(pid);
        const Clock::time_point pj0 = Clock::now();
        const PjlinkPoolResult pj =
            runPjlinkPool(rig.pjlinkBasePort(), projectors, o.pjlinkSeconds, o.pjlinkRate);
        const double pjMs = usBetween(pj0, Clock::now()) / 1000;
        const double pjCpuMs = cpuMs(pid) - pjCpu0;
        const size_t answers = std::max<size_t>(1, pj.latenciesUs.size());
        report(qPrintable(name("pjlink_rate")), pj.latenciesUs.size() / double(o.pjlinkSeconds), 1);
        // The polling goes on meanwhile: its CPU is in these two, as the percentage shows.
        report(qPrintable(name("pjlink_cpu_us_per_question")), pjCpuMs * 1000 / answers, 1);
        report(qPrintable(name("pjlink_connected")), pj.connected, 0);
        report(qPrintable(name("pjlink_unanswered")), pj.unanswered, 0);
        report(qPrintable(name("pjlink_wrong")), pj.wrongAnswers, 0);
        report(qPrintable(name("pjlink_cpu_percent")), pjCpuMs / pjMs * 100, 2);
        report(qPrintable(name("pjlink_rss_kb")), double(residentKb(pid_t(pid))), 0);
        reportSummary(name("pjlink"), pj.latenciesUs);
        writeColumn(QDir(csvDir).filePath(tag + QStringLiteral("-pjlink.csv")),
                    QStringLiteral("powr_answer_us"), pj.latenciesUs);
    }
    bank.stop();
    return 0;
}
