#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

namespace tavo::sim {

// Monotonic real time in milliseconds. The simulator reads time only through this, so tests drive
// it by hand and never wait.
class Clock {
public:
    virtual ~Clock() = default;
    virtual qint64 nowMs() const = 0;
};

class SteadyClock final : public Clock {
public:
    SteadyClock() { timer_.start(); }
    qint64 nowMs() const override { return timer_.elapsed(); }

private:
    QElapsedTimer timer_;
};

} // namespace tavo::sim
