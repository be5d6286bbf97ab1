#pragma once

#include "Timer.h"

#include <QList>
#include <QtGlobal>

namespace tavo::test {

class VirtualClock;

// A timer on a virtual clock. Enabling a running timer keeps its countdown;
// writing the interval of a running timer restarts it.
class FakeTimer : public Timer {
public:
    explicit FakeTimer(VirtualClock& clock, int designInterval);
    ~FakeTimer() override;

    void setInterval(int ms) override;
    int interval() const override { return m_interval; }
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return m_enabled; }

    qint64 dueAt() const { return m_due; }
    int fired = 0;

private:
    friend class VirtualClock;
    void tick();

    VirtualClock& m_clock;
    int m_interval;
    bool m_enabled = false;
    qint64 m_due = 0;
    quint64 m_order = 0; // arming order, to break ties like a real event loop
};

// Virtual time in milliseconds. advance() fires due timers in time order; a
// handler may re-arm, disable or re-interval any timer as it runs.
class VirtualClock {
public:
    qint64 now() const { return m_now; }
    void advance(qint64 ms);
    void advanceTo(qint64 when);

private:
    friend class FakeTimer;
    quint64 nextOrder() { return ++m_order; }
    QList<FakeTimer*> m_timers;
    qint64 m_now = 0;
    quint64 m_order = 0;
};

inline FakeTimer::FakeTimer(VirtualClock& clock, int designInterval)
    : m_clock(clock), m_interval(designInterval) {
    m_clock.m_timers << this;
}

inline FakeTimer::~FakeTimer() {
    m_clock.m_timers.removeAll(this);
}

inline void FakeTimer::setInterval(int ms) {
    m_interval = ms;
    if (m_enabled) {
        m_due = m_clock.now() + ms;
        m_order = m_clock.nextOrder();
    }
}

inline void FakeTimer::setEnabled(bool enabled) {
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    if (enabled) {
        m_due = m_clock.now() + m_interval;
        m_order = m_clock.nextOrder();
    }
}

inline void FakeTimer::tick() {
    // The next period counts from this tick, as a window timer's does.
    m_due = m_clock.now() + m_interval;
    m_order = m_clock.nextOrder();
    ++fired;
    fire();
}

inline void VirtualClock::advance(qint64 ms) {
    advanceTo(m_now + ms);
}

inline void VirtualClock::advanceTo(qint64 when) {
    for (;;) {
        FakeTimer* next = nullptr;
        for (FakeTimer* t : qAsConst(m_timers)) {
            if (!t->m_enabled || t->m_interval <= 0 || t->m_due > when)
                continue;
            if (!next || t->m_due < next->m_due ||
                (t->m_due == next->m_due && t->m_order < next->m_order))
                next = t;
        }
        if (!next)
            break;
        m_now = next->m_due;
        next->tick();
    }
    m_now = when;
}

} // namespace tavo::test
