#include "sim/ProjectorModel.h"

#include <QString>

#include <algorithm>
#include <cmath>

namespace tavo::sim {

namespace {

constexpr qint64 kMsPerHour = 3600 * 1000;
constexpr int kMaxLampHours = 99999; // five digits on the line
constexpr int kInputs = 4;

qint64 secondsToMs(double seconds) {
    return std::llround(std::max(0.0, seconds) * 1000.0);
}

struct Readings {
    double first, second, third;
};

// Plausible sensor readings per phase; an abnormal temperature shows clearly hot values.
Readings readingsFor(PowerPhase phase, bool abnormal) {
    if (abnormal)
        return {72.5, 95.0, 58.0};
    switch (phase) {
    case PowerPhase::Standby:
        return {26.5, 28.0, 25.5};
    case PowerPhase::CountDown:
        return {33.0, 38.5, 27.0};
    case PowerPhase::On:
        return {38.5, 46.0, 31.5};
    case PowerPhase::Cooling:
        return {35.0, 41.0, 30.0};
    }
    return {0, 0, 0};
}

char phaseDigit(PowerPhase phase) {
    switch (phase) {
    case PowerPhase::Standby:
        return '8';
    case PowerPhase::CountDown:
        return '4';
    case PowerPhase::On:
        return '0';
    case PowerPhase::Cooling:
        return '2';
    }
    return '8';
}

} // namespace

ProjectorModel::ProjectorModel(const Clock& clock, const Timing& timing)
    : clock_(clock), timeScale_(timing.timeScale > 0 ? timing.timeScale : 1.0),
      warmupMs_(secondsToMs(timing.warmupSeconds)),
      cooldownMs_(secondsToMs(timing.cooldownSeconds)),
      initialLampHours_(std::clamp(timing.lampHours, 0, kMaxLampHours)) {}

qint64 ProjectorModel::simulatedMs() const {
    return std::llround(double(clock_.nowMs()) * timeScale_);
}

PowerPhase ProjectorModel::phaseAt(qint64 simMs, qint64* phaseStart) const {
    if (phase_ == PowerPhase::CountDown && simMs - phaseStartMs_ >= warmupMs_) {
        *phaseStart = phaseStartMs_ + warmupMs_;
        return PowerPhase::On;
    }
    if (phase_ == PowerPhase::Cooling && simMs - phaseStartMs_ >= cooldownMs_) {
        *phaseStart = phaseStartMs_ + cooldownMs_;
        return PowerPhase::Standby;
    }
    *phaseStart = phaseStartMs_;
    return phase_;
}

void ProjectorModel::settle() {
    phase_ = phaseAt(simulatedMs(), &phaseStartMs_);
}

PowerPhase ProjectorModel::phase() const {
    qint64 ignored = 0;
    return phaseAt(simulatedMs(), &ignored);
}

void ProjectorModel::powerOn() {
    settle();
    if (phase_ != PowerPhase::Standby)
        return; // already lit, or still cooling: a real lamp cannot restrike hot
    phase_ = PowerPhase::CountDown;
    phaseStartMs_ = lampOnSinceMs_ = simulatedMs();
}

void ProjectorModel::powerOff() {
    settle();
    if (!lampLit())
        return;
    const qint64 now = simulatedMs();
    lampLitMs_ += now - lampOnSinceMs_;
    phase_ = PowerPhase::Cooling;
    phaseStartMs_ = now;
}

bool ProjectorModel::lampLit() const {
    // The lamp strikes at power-on, so count down and on both light it.
    return phase_ == PowerPhase::CountDown || phase_ == PowerPhase::On;
}

int ProjectorModel::lampHours() const {
    const qint64 lit = lampLitMs_ + (lampLit() ? simulatedMs() - lampOnSinceMs_ : 0);
    return int(std::min<qint64>(initialLampHours_ + lit / kMsPerHour, kMaxLampHours));
}

QByteArray ProjectorModel::statusCode() const {
    const PowerPhase now = phase();
    if (health_.temperatureAbnormal)
        return QByteArray(1, health_.powerAbnormal ? '1' : phaseDigit(now)) + '8';
    if (health_.powerAbnormal)
        return "10";
    if (health_.lampFailure)
        return now == PowerPhase::Standby ? "81" : "21";
    return QByteArray(1, phaseDigit(now)) + '0';
}

void ProjectorModel::selectInput(int input) {
    if (input >= 1 && input <= kInputs)
        input_ = input;
}

void ProjectorModel::stepInput(int delta) {
    input_ = ((input_ - 1 + delta) % kInputs + kInputs) % kInputs + 1;
}

QByteArray ProjectorModel::reversal() const {
    // Ceiling mounting turns the picture upside down, which flips both axes; rear projection
    // mirrors left and right once more. First digit: left/right, second: top/bottom, 1 = normal.
    const bool ceiling = setting("CEIL") == "ON";
    const bool rear = setting("REAR") == "ON";
    const bool leftRightFlipped = ceiling != rear;
    const bool topBottomFlipped = ceiling;
    return QByteArray(1, leftRightFlipped ? '0' : '1') + (topBottomFlipped ? '0' : '1');
}

QByteArray ProjectorModel::temperatures() const {
    const Readings r = readingsFor(phase(), health_.temperatureAbnormal);
    return QString::asprintf("%05.1f %05.1f %05.1f", r.first, r.second, r.third).toLatin1();
}

} // namespace tavo::sim
