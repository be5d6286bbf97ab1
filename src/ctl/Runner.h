#pragma once

#include "Outcome.h"
#include "Plan.h"
#include "PortSession.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace tavo {
class LinePort;
class Timer;
} // namespace tavo

namespace tavo::ctl {

// Runs the request on every projector: one session per port, all sessions at
// once on the one event loop, and reports when the last one is done.
class Runner {
public:
    // A closed line; each port's session opens it with the port's device and baud rate.
    using PortFactory = std::function<std::unique_ptr<LinePort>()>;
    using TimerFactory = std::function<std::unique_ptr<Timer>()>;
    // Called once, with each projector's outcome in the order of `projectors`.
    using Done = std::function<void(const QList<Outcome>& outcomes)>;

    Runner(const Request& request, const QList<ProjectorEntry>& projectors, PortFactory makePort,
           TimerFactory makeTimer, Done done);
    ~Runner();

    void start();
    // Ends the run: whatever has not ended is reported as not tried, with `reason` (before
    // start(), every projector).
    void stop(const QString& reason);

private:
    struct Port;

    void sessionDone();

    Request m_request;
    QList<ProjectorEntry> m_projectors;
    PortFactory m_makePort;
    TimerFactory m_makeTimer;
    Done m_done;
    std::vector<std::unique_ptr<Port>> m_ports;
    QList<Outcome> m_outcomes;
    int m_running = 0;
    QString m_stopReason;
};

} // namespace tavo::ctl
