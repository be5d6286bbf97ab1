#pragma once

#include "Timer.h"

#include <QTimer>

namespace tavo {

// A window timer over a precise QTimer. QTimer::start() restarts a running
// timer, so enabling checks first; setInterval() restarts a running one,
// which is the rule we want.
class QtTimer : public Timer {
public:
    explicit QtTimer(int designInterval);

    void setInterval(int ms) override { m_timer.setInterval(ms); }
    int interval() const override { return m_timer.interval(); }
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return m_timer.isActive(); }

    const QTimer& qtimer() const { return m_timer; }

private:
    QTimer m_timer;
};

} // namespace tavo
