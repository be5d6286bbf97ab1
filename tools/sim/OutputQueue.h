#pragma once

#include "sim/LineFaults.h"

#include <QByteArray>
#include <QList>

#include <optional>

namespace tavo::sim {

// Bytes waiting to go out on the line, in order. A reply queued while an earlier one is still
// waiting goes out after it, as on a real line.
class OutputQueue {
public:
    void append(const QList<Chunk>& chunks, qint64 nowMs);
    QByteArray takeDue(qint64 nowMs);
    std::optional<qint64> nextDueMs() const;

private:
    struct Timed {
        qint64 dueMs;
        QByteArray bytes;
    };
    QList<Timed> pending_;
    qint64 lastDueMs_ = 0;
};

// Random bytes at line rate for a while, as from a loose connector or a motor nearby.
class NoiseSource {
public:
    void start(qint64 nowMs, qint64 durationMs, int bytesPerSecond);
    bool active(qint64 nowMs) const;
    QByteArray take(qint64 nowMs, QRandomGenerator& rng);

private:
    qint64 dueBy(qint64 nowMs) const;

    qint64 startMs_ = 0;
    qint64 endMs_ = 0;
    int bytesPerSecond_ = 0;
    qint64 sent_ = 0;
};

} // namespace tavo::sim
