#include "Runner.h"

#include "LinePort.h"
#include "Timer.h"

#include <chrono>

namespace tavo::ctl {

struct Runner::Port {
    std::unique_ptr<LinePort> serial;
    std::unique_ptr<Timer> replyTimer;
    std::unique_ptr<Timer> pollTimer;
    std::unique_ptr<PortSession> session;
};

Runner::Runner(const Request& request, const QList<ProjectorEntry>& projectors,
               PortFactory makePort, TimerFactory makeTimer, Done done)
    : m_request(request), m_projectors(projectors), m_makePort(std::move(makePort)),
      m_makeTimer(std::move(makeTimer)), m_done(std::move(done)) {}

Runner::~Runner() = default;

void Runner::start() {
    m_outcomes = QList<Outcome>(m_projectors.size());
    if (!m_stopReason.isEmpty()) {
        for (Outcome& outcome : m_outcomes) {
            outcome.tried = false;
            outcome.error = m_stopReason;
        }
        m_done(m_outcomes);
        return;
    }
    QList<QString> devices;
    for (int i = 0; i < m_projectors.size(); ++i) {
        const ProjectorEntry& projector = m_projectors[i];
        int at = devices.indexOf(projector.device);
        if (at < 0) {
            auto port = std::make_unique<Port>();
            port->serial = m_makePort();
            port->replyTimer = m_makeTimer();
            port->pollTimer = m_makeTimer();
            port->session = std::make_unique<PortSession>(
                *port->serial, *port->replyTimer, *port->pollTimer, m_request, projector.device,
                projector.baud,
                [this](int index, const Outcome& outcome) { m_outcomes[index] = outcome; },
                [this] { sessionDone(); },
                [] {
                    using namespace std::chrono;
                    return qint64(
                        duration_cast<milliseconds>(steady_clock::now().time_since_epoch())
                            .count());
                });
            m_ports.push_back(std::move(port));
            devices << projector.device;
            at = devices.size() - 1;
        }
        m_ports[size_t(at)]->session->add(i, projector);
    }
    // Count first: a session whose port fails to open is done at once.
    m_running = int(m_ports.size());
    for (auto& port : m_ports)
        port->session->start();
}

void Runner::stop(const QString& reason) {
    m_stopReason = reason;
    for (auto& port : m_ports)
        port->session->stop(reason);
}

void Runner::sessionDone() {
    if (--m_running == 0)
        m_done(m_outcomes);
}

} // namespace tavo::ctl
