#include "Metrics.h"

#include "Gateway.h"

#include <prometheus/counter.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>
#include <prometheus/text_serializer.h>

#include <array>
#include <map>
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

// From a fast local reply (a few ms at 19200 baud) to the one-second time-out.
const prometheus::Histogram::BucketBoundaries kExchangeBuckets{0.005, 0.01, 0.02, 0.05,
                                                               0.1,   0.2,  0.5,  1.0};

Labels with(Labels labels, const std::string& name, const std::string& value) {
    labels.emplace(name, value);
    return labels;
}

} // namespace

struct Metrics::Series {
    struct Projector {
        Labels labels;
        prometheus::Gauge* up = nullptr;
        std::array<prometheus::Gauge*, kPowerStates.size()> power{};
        prometheus::Gauge* lampHours = nullptr; // present while read
        std::array<prometheus::Gauge*, kSensors> temperatures{};
        prometheus::Counter* replies = nullptr;
        prometheus::Counter* timeouts = nullptr;
        prometheus::Histogram* exchangeSeconds = nullptr;
    };

    std::shared_ptr<prometheus::Registry> registry = std::make_shared<prometheus::Registry>();
    prometheus::Family<prometheus::Gauge>& up =
        prometheus::BuildGauge()
            .Name("mx7300_up")
            .Help("1 while the projector answers its power read")
            .Register(*registry);
    prometheus::Family<prometheus::Gauge>& power =
        prometheus::BuildGauge()
            .Name("mx7300_power_state")
            .Help("1 for the projector's current power state, 0 for the others")
            .Register(*registry);
    prometheus::Family<prometheus::Gauge>& lampHours =
        prometheus::BuildGauge()
            .Name("mx7300_lamp_hours")
            .Help("Hours of use of the projector's lamp")
            .Register(*registry);
    prometheus::Family<prometheus::Gauge>& temperatures =
        prometheus::BuildGauge()
            .Name("mx7300_temperature_celsius")
            .Help("The projector's temperature sensors")
            .Register(*registry);
    prometheus::Family<prometheus::Counter>& replies =
        prometheus::BuildCounter()
            .Name("mx7300_replies_total")
            .Help("Commands and reads the projector answered with a whole reply")
            .Register(*registry);
    prometheus::Family<prometheus::Counter>& timeouts =
        prometheus::BuildCounter()
            .Name("mx7300_timeouts_total")
            .Help("Commands and reads with no whole reply within the time-out")
            .Register(*registry);
    prometheus::Family<prometheus::Histogram>& exchangeSeconds =
        prometheus::BuildHistogram()
            .Name("mx7300_exchange_seconds")
            .Help("Time from a command's write to its whole reply")
            .Register(*registry);
    prometheus::Family<prometheus::Counter>& failedOpens =
        prometheus::BuildCounter()
            .Name("mx7300_failed_opens_total")
            .Help("Times a port would not open or went away")
            .Register(*registry);

    std::vector<Projector> projectors;
    Labels siteLabels;
    std::map<QString, prometheus::Counter*> failedOpensByPort;
};

Metrics::Metrics(const Gateway& gateway, QObject* parent)
    : QObject(parent), m_gateway(gateway), m_series(std::make_unique<Series>()) {
    Series& s = *m_series;
    s.siteLabels = {{"site", gateway.site().name.toStdString()}};
    for (int i = 0; i < gateway.projectorCount(); ++i) {
        const ProjectorConfig& config = gateway.projector(i);
        Series::Projector p;
        p.labels = with(with(s.siteLabels, "projector", config.name.toStdString()), "room",
                        config.room.toStdString());
        p.up = &s.up.Add(p.labels);
        for (size_t k = 0; k < kPowerStates.size(); ++k)
            p.power[k] = &s.power.Add(with(p.labels, "state", kPowerStates[k].name));
        p.replies = &s.replies.Add(p.labels);
        p.timeouts = &s.timeouts.Add(p.labels);
        p.exchangeSeconds = &s.exchangeSeconds.Add(p.labels, kExchangeBuckets);
        s.projectors.push_back(p);
    }
    for (const ProjectorConfig& config : gateway.site().projectors) {
        if (!s.failedOpensByPort.count(config.target))
            s.failedOpensByPort[config.target] =
                &s.failedOpens.Add(with(s.siteLabels, "port", config.target.toStdString()));
    }
    for (int i = 0; i < gateway.projectorCount(); ++i)
        takeState(i);

    connect(&gateway, &Gateway::polled, this, &Metrics::takeState);
    connect(&gateway, &Gateway::exchanged, this, &Metrics::takeExchange);
    connect(&gateway, &Gateway::portOpenFailed, this,
            [this](const QString& target, const QString&) { takeFailedOpen(target); });
}

Metrics::~Metrics() = default;

QByteArray Metrics::render() const {
    const std::string text = prometheus::TextSerializer().Serialize(m_series->registry->Collect());
    return QByteArray(text.data(), qsizetype(text.size()));
}

void Metrics::takeState(int index) {
    if (index < 0 || size_t(index) >= m_series->projectors.size())
        return;
    Series& s = *m_series;
    Series::Projector& p = s.projectors[size_t(index)];
    const ProjectorState& state = m_gateway.state(index);

    p.up->Set(state.available ? 1 : 0);
    const std::optional<PowerState> power = state.available ? state.power : std::nullopt;
    for (size_t k = 0; k < kPowerStates.size(); ++k)
        p.power[k]->Set(kPowerStates[k].state == power ? 1 : 0);

    // A reading the projector did not give is absent rather than a stale or made-up number.
    if (state.lampHours) {
        if (!p.lampHours)
            p.lampHours = &s.lampHours.Add(p.labels);
        p.lampHours->Set(*state.lampHours);
    } else if (p.lampHours) {
        s.lampHours.Remove(p.lampHours);
        p.lampHours = nullptr;
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
    Series::Projector& p = m_series->projectors[size_t(index)];
    if (exchange.status == Exchange::Status::Ok) {
        p.replies->Increment();
        p.exchangeSeconds->Observe(double(exchange.elapsedMs) / 1000.0);
    } else if (exchange.status == Exchange::Status::NoReply) {
        p.timeouts->Increment();
    }
}

void Metrics::takeFailedOpen(const QString& target) {
    const auto found = m_series->failedOpensByPort.find(target);
    if (found != m_series->failedOpensByPort.end())
        found->second->Increment();
}

} // namespace tavo::gateway
