#include "sim/Simulator.h"

#include <algorithm>
#include <cmath>

namespace tavo::sim {

namespace {

constexpr int kNoiseTickMs = 10;
constexpr int kMaxGarbledBytes = 64;
constexpr int kBitsPerByte = 10; // start bit, eight data bits, stop bit

QString phaseName(PowerPhase phase) {
    switch (phase) {
    case PowerPhase::Standby:
        return QStringLiteral("standby");
    case PowerPhase::CountDown:
        return QStringLiteral("count down");
    case PowerPhase::On:
        return QStringLiteral("on");
    case PowerPhase::Cooling:
        return QStringLiteral("cooling");
    }
    return {};
}

QString onOff(bool value) {
    return value ? QStringLiteral("on") : QStringLiteral("off");
}

} // namespace

QString visibleBytes(const QByteArray& bytes) {
    QString text;
    for (char c : bytes) {
        const auto byte = quint8(c);
        if (byte == quint8(kCr))
            text += QStringLiteral("<CR>");
        else if (byte == quint8(kAck))
            text += QStringLiteral("<ACK>");
        else if (byte >= 0x20 && byte < 0x7f)
            text += QChar(byte);
        else
            text += QStringLiteral("<%1>").arg(byte, 2, 16, QChar('0'));
    }
    return text;
}

Simulator::Simulator(const Clock& clock, const SimSettings& settings)
    : clock_(clock), address_(settings.address), lineBaud_(settings.lineBaud), rng_(settings.seed),
      model_(clock, settings.timing), responder_(model_) {}

void Simulator::receive(const QByteArray& bytes, int consoleBaud) {
    if (consoleBaud > 0 && consoleBaud != lineBaud_) {
        answerAtWrongSpeed(int(bytes.size()), consoleBaud);
        return;
    }
    for (const QByteArray& line : framer_.push(bytes))
        answerLine(line);
}

void Simulator::answerLine(const QByteArray& line) {
    const Routed routed = route(line, address_);
    if (!routed.forUs) {
        log(QStringLiteral("<- %1  (other address, ignored)").arg(visibleBytes(line)));
        return;
    }
    if (routed.command.isEmpty())
        return;
    const QByteArray reply = responder_.answer(routed.command);
    log(QStringLiteral("<- %1  -> %2%3")
            .arg(visibleBytes(line), visibleBytes(reply),
                 faults_.silent ? QStringLiteral("  (silent)") : QString()));
    queue_.append(shapeReply(reply, faults_, rng_), clock_.nowMs());
}

void Simulator::answerAtWrongSpeed(int receivedBytes, int consoleBaud) {
    // Framing errors on both sides: the projector cannot read the command, and whatever it sends
    // back reaches the console as noise, stretched or squeezed by the speed ratio.
    framer_.clear();
    const qint64 heard = qint64(receivedBytes) * consoleBaud / lineBaud_;
    const int count = int(std::clamp<qint64>(heard, 1, kMaxGarbledBytes));
    log(QStringLiteral("<- %1 bytes at %2 baud, line runs at %3: garbled")
            .arg(receivedBytes)
            .arg(consoleBaud)
            .arg(lineBaud_));
    if (!faults_.silent)
        queue_.append({{faults_.slowMs, randomBytes(count, rng_)}}, clock_.nowMs());
}

QByteArray Simulator::takeOutput() {
    const qint64 now = clock_.nowMs();
    return queue_.takeDue(now) + noise_.take(now, rng_);
}

std::optional<qint64> Simulator::msUntilNextOutput() const {
    const qint64 now = clock_.nowMs();
    std::optional<qint64> wait;
    if (const auto due = queue_.nextDueMs())
        wait = std::max<qint64>(*due - now, 0);
    if (noise_.active(now))
        wait = std::min<qint64>(wait.value_or(kNoiseTickMs), kNoiseTickMs);
    return wait;
}

void Simulator::startNoise(double seconds) {
    noise_.start(clock_.nowMs(), std::llround(std::max(seconds, 0.0) * 1000.0),
                 lineBaud_ / kBitsPerByte);
}

QString Simulator::statusReport() const {
    const Health& health = model_.health();
    const QString power =
        QStringLiteral("power %1 (%2), input %3, lamp %4 h%5, lamp mode %6, "
                       "reversal %7")
            .arg(phaseName(model_.phase()), QString::fromLatin1(model_.statusCode()))
            .arg(model_.input())
            .arg(model_.lampHours())
            .arg(model_.lampLit() ? QStringLiteral(" (lit)") : QString(),
                 QString::fromLatin1(responder_.lampMode()),
                 QString::fromLatin1(model_.reversal()));
    const QString line =
        QStringLiteral("temperatures %1, address %2, line %3 baud")
            .arg(QString::fromLatin1(model_.temperatures()), QString::fromLatin1(address_))
            .arg(lineBaud_);
    const QString faults =
        QStringLiteral("faults: silent %1, split %2, slow %3 ms, garbage %4, noise %5, "
                       "lamp-failure %6, temp-abnormal %7, power-abnormal %8")
            .arg(onOff(faults_.silent), onOff(faults_.split))
            .arg(faults_.slowMs)
            .arg(faults_.garbageNext ? QStringLiteral("armed") : QStringLiteral("off"),
                 onOff(noiseActive()), onOff(health.lampFailure), onOff(health.temperatureAbnormal),
                 onOff(health.powerAbnormal));
    return power + '\n' + line + '\n' + faults;
}

void Simulator::log(const QString& text) const {
    if (log_)
        log_(text);
}

} // namespace tavo::sim
