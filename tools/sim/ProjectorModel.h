#pragma once

#include "sim/Clock.h"

#include <QByteArray>
#include <QHash>

namespace tavo::sim {

enum class PowerPhase { Standby, CountDown, On, Cooling };

struct Timing {
    double warmupSeconds = 30;
    double cooldownSeconds = 60;
    double timeScale = 1; // simulated seconds per real second
    int lampHours = 1234; // lamp hours at start
};

// Conditions injected by hand. They change the status code and the temperatures; the power
// sequence itself runs on regardless, so the console can be watched in every phase.
struct Health {
    bool lampFailure = false;
    bool temperatureAbnormal = false;
    bool powerAbnormal = false;
};

// The projector's state: power sequence, lamp hours, selected input and the values of set
// commands. Time is evaluated lazily from the clock, so the model needs no timers.
class ProjectorModel {
public:
    ProjectorModel(const Clock& clock, const Timing& timing);

    void powerOn();
    void powerOff();
    PowerPhase phase() const;
    bool lampLit() const;
    int lampHours() const;
    QByteArray statusCode() const; // two digits, as "CR0" answers

    int input() const { return input_; }
    void selectInput(int input); // 1..4
    void stepInput(int delta);   // wraps around 1..4

    Health& health() { return health_; }
    const Health& health() const { return health_; }

    // Values of "CF <stem> <args>" commands by stem; empty when never set.
    QByteArray setting(const QByteArray& stem) const { return settings_.value(stem); }
    void store(const QByteArray& stem, const QByteArray& value) { settings_.insert(stem, value); }

    QByteArray reversal() const;     // two digits, as "CR4" answers
    QByteArray temperatures() const; // three five-character fields, as "CR6" answers

private:
    qint64 simulatedMs() const;
    PowerPhase phaseAt(qint64 simMs, qint64* phaseStart) const;
    void settle();

    const Clock& clock_;
    double timeScale_;
    qint64 warmupMs_;
    qint64 cooldownMs_;
    int initialLampHours_;

    PowerPhase phase_ = PowerPhase::Standby;
    qint64 phaseStartMs_ = 0;
    qint64 lampOnSinceMs_ = 0; // meaningful while the lamp is lit (count down and on)
    qint64 lampLitMs_ = 0;     // lit time of earlier runs
    int input_ = 1;
    Health health_;
    QHash<QByteArray, QByteArray> settings_;
};

} // namespace tavo::sim
