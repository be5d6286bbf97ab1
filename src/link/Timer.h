#pragma once

#include <functional>

namespace tavo {

// A window timer as the handlers use it. Two rules every implementation keeps:
// enabling a running timer leaves its countdown alone, and writing the interval
// of a running timer restarts its countdown.
class Timer {
public:
    virtual ~Timer() = default;

    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;

    void setOnTimer(std::function<void()> handler) { m_onTimer = std::move(handler); }

protected:
    void fire() {
        if (m_onTimer)
            m_onTimer();
    }

private:
    std::function<void()> m_onTimer;
};

} // namespace tavo
