#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

namespace tavo {
struct Exchange;
}

namespace tavo::gateway {

class Gateway;

// The site's projectors in Prometheus' text format, fed from the gateway's signals and rendered
// on each scrape. Every series carries site, projector and room; the port counters carry site
// and port instead.
//
//   mx7300_up                       1 while the projector answers its power read
//   mx7300_power_state{state=…}     1 for the current power state, 0 for the others
//   mx7300_lamp_hours               absent until read
//   mx7300_temperature_celsius{sensor="1".."3"}
//   mx7300_replies_total, mx7300_timeouts_total
//   mx7300_exchange_seconds         histogram of the time to a whole reply
//   mx7300_failed_opens_total{port} the port would not open, or went away
class Metrics : public QObject {
    Q_OBJECT

public:
    explicit Metrics(const Gateway& gateway, QObject* parent = nullptr);
    ~Metrics() override;

    // The text format, version 0.0.4.
    QByteArray render() const;
    static QByteArray contentType() { return "text/plain; version=0.0.4; charset=utf-8"; }

private:
    void takeState(int index);
    void takeExchange(int index, const tavo::Exchange& exchange);
    void takeFailedOpen(const QString& target);

    struct Series;
    const Gateway& m_gateway;
    std::unique_ptr<Series> m_series;
};

} // namespace tavo::gateway
