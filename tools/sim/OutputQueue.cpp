#include "sim/OutputQueue.h"

#include <algorithm>

namespace tavo::sim {

void OutputQueue::append(const QList<Chunk>& chunks, qint64 nowMs) {
    qint64 due = pending_.isEmpty() ? nowMs : std::max(nowMs, lastDueMs_);
    for (const Chunk& chunk : chunks) {
        due += std::max(chunk.delayMs, 0);
        pending_.append({due, chunk.bytes});
    }
    if (!chunks.isEmpty())
        lastDueMs_ = due;
}

QByteArray OutputQueue::takeDue(qint64 nowMs) {
    QByteArray out;
    while (!pending_.isEmpty() && pending_.front().dueMs <= nowMs)
        out += pending_.takeFirst().bytes;
    return out;
}

std::optional<qint64> OutputQueue::nextDueMs() const {
    if (pending_.isEmpty())
        return std::nullopt;
    return pending_.front().dueMs;
}

void NoiseSource::start(qint64 nowMs, qint64 durationMs, int bytesPerSecond) {
    startMs_ = nowMs;
    endMs_ = nowMs + std::max<qint64>(durationMs, 0);
    bytesPerSecond_ = std::max(bytesPerSecond, 0);
    sent_ = 0;
}

qint64 NoiseSource::dueBy(qint64 nowMs) const {
    const qint64 elapsed = std::clamp(nowMs, startMs_, endMs_) - startMs_;
    return elapsed * bytesPerSecond_ / 1000;
}

bool NoiseSource::active(qint64 nowMs) const {
    return bytesPerSecond_ > 0 && (nowMs < endMs_ || sent_ < dueBy(endMs_));
}

QByteArray NoiseSource::take(qint64 nowMs, QRandomGenerator& rng) {
    const qint64 due = dueBy(nowMs);
    const QByteArray bytes = randomBytes(int(due - sent_), rng);
    sent_ = due;
    return bytes;
}

} // namespace tavo::sim
