#pragma once

#include "SiteConfig.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

namespace tavo {
struct Exchange;
}

namespace tavo::gateway {

class Gateway;
struct SiteChange;

// The site's projectors and the gateway itself in Prometheus' text format, fed from the
// gateway's signals and rendered on each scrape. Series carry site and projector; what
// describes a projector (room, port, address) is on its _info series only, for joins.
//
//   mx7300_build_info{version}                         1
//   mx7300_projector_info{projector,room,port,address} 1
//   mx7300_up                       1 while the projector answers its power read
//   mx7300_power_state{state=…}     1 for the current power state, 0 for the others
//   mx7300_lamp_on_seconds          absent until read; kept while the projector is offline
//   mx7300_lamp_warn_seconds        the section's lamp_warn_hours
//   mx7300_temperature_celsius{sensor="1".."3"}   as the lamp, kept while offline
//   mx7300_replies_total, mx7300_timeouts_total
//   mx7300_exchange_seconds         histogram of the time to a whole reply or to the time-out
//   mx7300_failed_opens_total{port} the port would not open, or went away
//   mx7300_queued_commands          commands waiting or on the wire for the projector
//   mx7300_last_successful_poll_timestamp_seconds
//   mx7300_broker_connected         1 while the MQTT broker has us (with --mqtt only)
class Metrics : public QObject {
    Q_OBJECT

public:
    explicit Metrics(const Gateway& gateway, const QString& version = QString(),
                     QObject* parent = nullptr);
    ~Metrics() override;

    // The text format, version 0.0.4.
    QByteArray render() const;
    static QByteArray contentType() { return "text/plain; version=0.0.4; charset=utf-8"; }

    // The first call adds the series: a gateway without a broker has none.
    void setBrokerConnected(bool connected);

private:
    void takeState(int index);
    void takeExchange(int index, const tavo::Exchange& exchange);
    void takeFailedOpen(const QString& target);
    void takeSiteChange(const SiteChange& change);

    struct Series;
    struct ProjectorSeries;
    ProjectorSeries addSeries(const ProjectorConfig& config);
    void removeSeries(const ProjectorSeries& series);
    void addPortSeries();
    const Gateway& m_gateway;
    std::unique_ptr<Series> m_series;
};

} // namespace tavo::gateway
