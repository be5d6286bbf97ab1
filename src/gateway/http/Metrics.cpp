#include "Metrics.h"

#include "Gateway.h"

#include <prometheus/counter.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>
#include <prometheus/text_serializer.h>

#include <array>
#include <map>
#include <set>
#include <vector>

namespace tavo::gateway {
namespace {

using prometheus::Labels;

struct PowerStateName {
    std::optional<PowerState> state; // none: not known
    const char* name;
};
constexpr std::array<PowerStateName, 8> kPowerStates{{
    {PowerState::On, "on"},
    {PowerState::Standby, "standby"},
    {PowerState::CountDown, "warming_up"},
    {PowerState::CoolingDown, "cooling_down"},
    {PowerState::PowerFault, "power_fault"},
    {PowerState::TemperatureFault, "temperature_fault"},
    {PowerState::LampFault, "lamp_fault"},
    {std::nullopt, "unknown"},
}};
constexpr int kSensors = 3;

// From a fast local reply (a few ms at 19200 baud) to the one-second time-out, and the time-outs
// themselves (a little over one second) below 2.
const prometheus::Histogram::BucketBoundaries kExchangeBuckets{0.005, 0.01, 0.02, 0.05, 0.1,
                                                               0.2,   0.5,  1.0,  2.0};

Labels with(Labels labels, const std::string& name, const std::string& value) {
    labels.emplace(name, value);
    return labels;
}

prometheus::Family<prometheus::Gauge>& gauge(prometheus::Registry& registry, const char* name,
                                             const char* help) {
    return prometheus::BuildGauge().Name(name).Help(help).Register(registry);
}

prometheus::Family<prometheus::Counter>& counter(prometheus::Registry& registry, const char* name,
                                                 const char* help) {
    return prometheus::BuildCounter().Name(name).Help(help).Register(registry);
}

constexpr double kSecondsPerHour = 3600.0;

} // namespace

struct Metrics::ProjectorSeries {
    Labels labels;
    prometheus::Gauge* info = nullptr;
    prometheus::Gauge* lampWarn = nullptr;
    prometheus::Gauge* up = nullptr;
    std::array<prometheus::Gauge*, kPowerStates.size()> power{};
    prometheus::Gauge* lampOn = nullptr; // present once read
    std::array<prometheus::Gauge*, kSensors> temperatures{};
    prometheus::Counter* replies = nullptr;
    prometheus::Counter* timeouts = nullptr;
    prometheus::Histogram* exchangeSeconds = nullptr;
    prometheus::Gauge* queued = nullptr;
    prometheus::Gauge* lastPoll = nullptr; // present once a poll was answered
};

struct Metrics::Series {

    std::shared_ptr<prometheus::Registry> registry = std::make_shared<prometheus::Registry>();
    prometheus::Registry& r = *registry;
    prometheus::Family<prometheus::Gauge>& buildInfo =
        gauge(r, "mx7300_build_info", "The gateway's version, as a label; the value is 1");
    prometheus::Family<prometheus::Gauge>& projectorInfo =
        gauge(r, "mx7300_projector_info", "The projector's room, port and address; the value is 1");
    prometheus::Family<prometheus::Gauge>& up =
        gauge(r, "mx7300_up", "1 while the projector answers its power read");
    prometheus::Family<prometheus::Gauge>& power = gauge(
        r, "mx7300_power_state", "1 for the projector's current power state, 0 for the others");
    prometheus::Family<prometheus::Gauge>& lampOn =
        gauge(r, "mx7300_lamp_on_seconds", "Time of use of the projector's lamp, as last read");
    prometheus::Family<prometheus::Gauge>& lampWarn = gauge(
        r, "mx7300_lamp_warn_seconds", "Lamp time from which the lamp is due for replacement");
    prometheus::Family<prometheus::Gauge>& temperatures =
        gauge(r, "mx7300_temperature_celsius", "The projector's temperature sensors, as last read");
    prometheus::Family<prometheus::Counter>& replies = counter(
        r, "mx7300_replies_total", "Commands and reads the projector answered with a whole reply");
    prometheus::Family<prometheus::Counter>& timeouts = counter(
        r, "mx7300_timeouts_total", "Commands and reads with no whole reply within the time-out");
    prometheus::Family<prometheus::Histogram>& exchangeSeconds =
        prometheus::BuildHistogram()
            .Name("mx7300_exchange_seconds")
            .Help("Time from a command's write to its whole reply, or to the time-out")
            .Register(r);
    prometheus::Family<prometheus::Counter>& failedOpens =
        counter(r, "mx7300_failed_opens_total", "Times a port would not open or went away");
    prometheus::Family<prometheus::Gauge>& queued =
        gauge(r, "mx7300_queued_commands", "Commands waiting or on the wire for the projector");
    prometheus::Family<prometheus::Gauge>& lastPoll =
        gauge(r, "mx7300_last_successful_poll_timestamp_seconds",
              "When the projector last answered its poll, in seconds since the epoch");
    prometheus::Family<prometheus::Gauge>& brokerFamily =
        gauge(r, "mx7300_broker_connected", "1 while the gateway is connected to its MQTT broker");

    std::vector<ProjectorSeries> projectors;
    Labels siteLabels;
    std::map<QString, prometheus::Counter*> failedOpensByPort;
    prometheus::Gauge* broker = nullptr;
};

Metrics::Metrics(const Gateway& gateway, const QString& version, QObject* parent)
    : QObject(parent), m_gateway(gateway), m_series(std::make_unique<Series>()) {
    Series& s = *m_series;
    s.buildInfo
        .Add({{"version", version.isEmpty() ? std::string("unknown") : version.toStdString()}})
        .Set(1);
    s.siteLabels = {{"site", gateway.site().name.toStdString()}};
    for (int i = 0; i < gateway.projectorCount(); ++i)
        s.projectors.push_back(addSeries(gateway.projector(i)));
    addPortSeries();
    for (int i = 0; i < gateway.projectorCount(); ++i)
        takeState(i);

    connect(&gateway, &Gateway::polled, this, &Metrics::takeState);
    connect(&gateway, &Gateway::exchanged, this, &Metrics::takeExchange);
    connect(&gateway, &Gateway::portOpenFailed, this,
            [this](const QString& target, const QString&) { takeFailedOpen(target); });
    connect(&gateway, &Gateway::siteChanged, this, &Metrics::takeSiteChange);
}

// A projector's series: the ones every projector has from the start.
Metrics::ProjectorSeries Metrics::addSeries(const ProjectorConfig& config) {
    Series& s = *m_series;
    ProjectorSeries p;
    p.labels = with(s.siteLabels, "projector", config.name.toStdString());
    p.info = &s.projectorInfo.Add(with(with(with(p.labels, "room", config.room.toStdString()),
                                            "port", config.target.toStdString()),
                                       "address", config.address.toStdString()));
    p.info->Set(1);
    p.up = &s.up.Add(p.labels);
    for (size_t k = 0; k < kPowerStates.size(); ++k)
        p.power[k] = &s.power.Add(with(p.labels, "state", kPowerStates[k].name));
    p.lampWarn = &s.lampWarn.Add(p.labels);
    p.lampWarn->Set(config.lampWarnHours * kSecondsPerHour);
    p.replies = &s.replies.Add(p.labels);
    p.timeouts = &s.timeouts.Add(p.labels);
    p.exchangeSeconds = &s.exchangeSeconds.Add(p.labels, kExchangeBuckets);
    p.queued = &s.queued.Add(p.labels);
    return p;
}

void Metrics::removeSeries(const ProjectorSeries& p) {
    Series& s = *m_series;
    s.projectorInfo.Remove(p.info);
    s.up.Remove(p.up);
    for (prometheus::Gauge* g : p.power)
        s.power.Remove(g);
    s.lampWarn.Remove(p.lampWarn);
    if (p.lampOn)
        s.lampOn.Remove(p.lampOn);
    for (prometheus::Gauge* g : p.temperatures)
        if (g)
            s.temperatures.Remove(g);
    s.replies.Remove(p.replies);
    s.timeouts.Remove(p.timeouts);
    s.exchangeSeconds.Remove(p.exchangeSeconds);
    s.queued.Remove(p.queued);
    if (p.lastPoll)
        s.lastPoll.Remove(p.lastPoll);
}

// One failed-opens counter per port the site uses, none for a port it no longer does.
void Metrics::addPortSeries() {
    Series& s = *m_series;
    std::set<QString> used;
    for (const ProjectorConfig& config : m_gateway.site().projectors) {
        used.insert(config.target);
        if (!s.failedOpensByPort.count(config.target))
            s.failedOpensByPort[config.target] =
                &s.failedOpens.Add(with(s.siteLabels, "port", config.target.toStdString()));
    }
    for (auto it = s.failedOpensByPort.begin(); it != s.failedOpensByPort.end();) {
        if (used.count(it->first)) {
            ++it;
            continue;
        }
        s.failedOpens.Remove(it->second);
        it = s.failedOpensByPort.erase(it);
    }
}

// A reload: kept projectors keep their series (counters go on), removed ones' series go.
void Metrics::takeSiteChange(const SiteChange& change) {
    Series& s = *m_series;
    std::vector<ProjectorSeries> projectors;
    std::vector<bool> stays(s.projectors.size(), false);
    for (size_t i = 0; i < change.oldIndex.size(); ++i) {
        const int old = change.oldIndex[i];
        if (old >= 0)
            stays[size_t(old)] = true;
        projectors.push_back(old >= 0 ? s.projectors[size_t(old)] : ProjectorSeries{});
    }
    for (size_t old = 0; old < s.projectors.size(); ++old)
        if (!stays[old])
            removeSeries(s.projectors[old]);
    for (size_t i = 0; i < change.oldIndex.size(); ++i)
        if (change.oldIndex[i] < 0)
            projectors[i] = addSeries(m_gateway.projector(int(i)));
    s.projectors = std::move(projectors);
    addPortSeries();
    for (size_t i = 0; i < change.oldIndex.size(); ++i)
        if (change.oldIndex[i] < 0)
            takeState(int(i));
}

Metrics::~Metrics() = default;

QByteArray Metrics::render() const {
    // Queues change with every command and reply: read at the scrape rather than followed.
    for (size_t i = 0; i < m_series->projectors.size(); ++i)
        m_series->projectors[i].queued->Set(m_gateway.queuedCommands(int(i)));
    const std::string text = prometheus::TextSerializer().Serialize(m_series->registry->Collect());
    return QByteArray(text.data(), qsizetype(text.size()));
}

void Metrics::setBrokerConnected(bool connected) {
    if (!m_series->broker)
        m_series->broker = &m_series->brokerFamily.Add(m_series->siteLabels);
    m_series->broker->Set(connected ? 1 : 0);
}

void Metrics::takeState(int index) {
    if (index < 0 || size_t(index) >= m_series->projectors.size())
        return;
    Series& s = *m_series;
    ProjectorSeries& p = s.projectors[size_t(index)];
    const ProjectorState& state = m_gateway.state(index);

    p.up->Set(state.available ? 1 : 0);
    static const std::optional<PowerState> kNoPower;
    const std::optional<PowerState>& power = state.available ? state.power : kNoPower;
    for (size_t k = 0; k < kPowerStates.size(); ++k)
        p.power[k]->Set(kPowerStates[k].state == power ? 1 : 0);
    if (state.updated.isValid()) {
        if (!p.lastPoll)
            p.lastPoll = &s.lastPoll.Add(p.labels);
        p.lastPoll->Set(double(state.updated.toMSecsSinceEpoch()) / 1000.0);
    }

    // An offline projector keeps its last readings (mx7300_up says it is offline); one that
    // answers but did not give a reading has none rather than a stale or made-up number.
    if (!state.available)
        return;
    if (state.lampHours) {
        if (!p.lampOn)
            p.lampOn = &s.lampOn.Add(p.labels);
        p.lampOn->Set(*state.lampHours * kSecondsPerHour);
    } else if (p.lampOn) {
        s.lampOn.Remove(p.lampOn);
        p.lampOn = nullptr;
    }
    for (int sensor = 0; sensor < kSensors; ++sensor) {
        prometheus::Gauge*& gauge = p.temperatures[size_t(sensor)];
        if (state.temperatures && sensor < state.temperatures->size()) {
            if (!gauge)
                gauge = &s.temperatures.Add(with(p.labels, "sensor", std::to_string(sensor + 1)));
            gauge->Set(state.temperatures->at(sensor));
        } else if (gauge) {
            s.temperatures.Remove(gauge);
            gauge = nullptr;
        }
    }
}

void Metrics::takeExchange(int index, const tavo::Exchange& exchange) {
    if (index < 0 || size_t(index) >= m_series->projectors.size())
        return;
    ProjectorSeries& p = m_series->projectors[size_t(index)];
    // A time-out is timed too, at the time waited: quantiles of the histogram see it.
    if (exchange.status == Exchange::Status::Ok)
        p.replies->Increment();
    else if (exchange.status == Exchange::Status::NoReply)
        p.timeouts->Increment();
    else
        return;
    p.exchangeSeconds->Observe(double(exchange.elapsedMs) / 1000.0);
}

void Metrics::takeFailedOpen(const QString& target) {
    const auto found = m_series->failedOpensByPort.find(target);
    if (found != m_series->failedOpensByPort.end())
        found->second->Increment();
}

} // namespace tavo::gateway
