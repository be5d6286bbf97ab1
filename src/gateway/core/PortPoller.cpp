#include "PortPoller.h"

#include "LinePort.h"
#include "StatusReads.h"
#include "Timer.h"

namespace tavo::gateway {
namespace {

// The reads of one poll, in the order they go out; the first (power) decides whether the
// projector answers at all, and one that does not is not asked the rest.
const StatusRead* readAt(int step) {
    return statusReadsBegin() + step;
}
const int kReadCount = int(statusReadsEnd() - statusReadsBegin());

} // namespace

struct PortPoller::Member {
    int index;
    ProjectorConfig config;
    bool polling = false; // its reads are on the line or waiting
    int commands = 0;     // its commands waiting or on the wire
    // Urgent after a command: its reads go with the commands, in turn, ahead of the other polls.
    ProjectorChannel::Priority priority = ProjectorChannel::Priority::Normal;
};

PortPoller::PortPoller(std::unique_ptr<LinePort> port, std::unique_ptr<Timer> replyTimer,
                       std::unique_ptr<Timer> pollTimer,
                       QList<QPair<int, ProjectorConfig>> projectors, const QString& device,
                       int baud, int pollMs, ProjectorChannel::Now now, WallClock wallClock,
                       Events events)
    : m_port(std::move(port)), m_replyTimer(std::move(replyTimer)),
      m_pollTimer(std::move(pollTimer)), m_channel(*m_port, *m_replyTimer, std::move(now)),
      m_device(device), m_baud(baud), m_wallClock(std::move(wallClock)),
      m_events(std::move(events)) {
    for (const auto& [index, config] : projectors)
        m_members << Member{index, config};
    m_pollTimer->setInterval(pollMs);
    m_pollTimer->setOnTimer([this] { pollAll(); });
    m_channel.setOnLinkLost([this](const QString& reason) {
        if (m_events.openFailed)
            m_events.openFailed(reason);
    });
}

PortPoller::~PortPoller() {
    stop();
}

void PortPoller::start() {
    m_stopped = false;
    m_pollTimer->setEnabled(true);
    pollAll();
}

void PortPoller::stop() {
    if (m_stopped)
        return;
    m_stopped = true;
    m_pollTimer->setEnabled(false);
    m_channel.close(QStringLiteral("the gateway is stopping"));
}

bool PortPoller::isOpen() const {
    return m_channel.isOpen();
}

int PortPoller::queued(int projector) const {
    for (const Member& m : m_members)
        if (m.index == projector)
            return m.commands;
    return 0;
}

void PortPoller::addProjector(int projector, const ProjectorConfig& config) {
    m_members << Member{projector, config};
    if (!m_stopped && m_channel.isOpen())
        poll(m_members.back(), ProjectorChannel::Priority::Normal);
}

void PortPoller::removeProjector(int projector) {
    m_members.removeIf([projector](const Member& m) { return m.index == projector; });
}

bool PortPoller::hasProjectors() const {
    return !m_members.isEmpty();
}

PortPoller::Member* PortPoller::member(int projector) {
    for (Member& m : m_members)
        if (m.index == projector)
            return &m;
    return nullptr;
}

// Each period: the port is opened if it is not, then every projector not still being read from
// the last period is read.
void PortPoller::pollAll() {
    if (m_stopped)
        return;
    if (!m_channel.isOpen()) {
        if (m_opening)
            return;
        m_opening = true;
        m_channel.open(m_device, m_baud, [this](bool opened) {
            m_opening = false;
            if (m_stopped)
                return;
            if (!opened) {
                if (m_events.openFailed)
                    m_events.openFailed(m_channel.openError());
                for (Member& m : m_members) {
                    ProjectorState offline;
                    if (m_events.polled)
                        m_events.polled(m.index, offline);
                }
                return;
            }
            pollAll();
        });
        return;
    }
    for (Member& m : m_members) {
        if (!m.polling)
            poll(m, ProjectorChannel::Priority::Normal);
    }
}

void PortPoller::poll(Member& m, ProjectorChannel::Priority priority) {
    m.polling = true;
    m.priority = priority;
    read(m, 0, ProjectorState());
}

void PortPoller::read(Member& m, int step, ProjectorState reading) {
    const int index = m.index;
    m_channel.request(
        readAt(step)->command, m.config.prefix, kReplyTimeoutMs,
        [this, index, step, reading](const Exchange& exchange) mutable {
            Member* m = member(index);
            if (m_events.exchanged)
                m_events.exchanged(index, exchange);
            if (!m)
                return; // it left the line meanwhile (a reload)
            const bool answered = exchange.status == Exchange::Status::Ok &&
                                  exchange.readings.has(readAt(step)->field);
            if (answered)
                reading.take(exchange.readings);
            // Answered means a status reply: noise or a bare ACK on the line is no answer.
            const bool unanswered = step == 0 && !answered;
            if (step + 1 < kReadCount && !unanswered && !m_stopped && m_channel.isOpen()) {
                read(*m, step + 1, reading);
                return;
            }
            // Online while it answers its power read as a projector does, and the line stayed up
            // to the end.
            reading.available = !unanswered && exchange.status != Exchange::Status::LinkLost;
            if (reading.available)
                reading.updated = m_wallClock();
            m->polling = false;
            m->priority = ProjectorChannel::Priority::Normal;
            if (m_events.polled)
                m_events.polled(index, reading);
        },
        m.priority);
}

void PortPoller::command(int projector, const QByteArray& text, bool pollAfter,
                         ProjectorChannel::Done done) {
    Member* m = member(projector);
    if (!m) {
        Exchange refused;
        refused.error = QStringLiteral("no such projector on this port");
        done(refused);
        return;
    }
    // Refused now rather than queued for longer than anyone waits for it.
    if (m->commands >= kCommandsPerProjector) {
        Exchange busy;
        busy.status = Exchange::Status::Busy;
        busy.error = QStringLiteral("busy: %1 commands already wait for this projector; "
                                    "nothing was sent")
                         .arg(kCommandsPerProjector);
        done(busy);
        return;
    }
    if (lineFull(done))
        return;
    ++m->commands;
    ++m_commands;
    m_channel.request(
        text, m->config.prefix, kReplyTimeoutMs,
        [this, projector, pollAfter, done = std::move(done)](const Exchange& exchange) {
            --m_commands;
            if (Member* m = member(projector))
                --m->commands;
            if (m_events.exchanged)
                m_events.exchanged(projector, exchange);
            done(exchange);
            if (pollAfter)
                pollAgain(projector);
        },
        ProjectorChannel::Priority::Urgent);
}

bool PortPoller::lineFull(ProjectorChannel::Done& done) {
    if (m_commands < kCommandsPerLine)
        return false;
    Exchange busy;
    busy.status = Exchange::Status::Busy;
    busy.error = QStringLiteral("busy: %1 commands already wait on this line; nothing was sent")
                     .arg(kCommandsPerLine);
    done(busy);
    return true;
}

void PortPoller::pollAgain(int projector) {
    Member* m = member(projector);
    if (!m || m_stopped || !m_channel.isOpen())
        return;
    // A poll under way goes on from here with its reads among the commands, in turn; its reads
    // still to come are taken after the command, so they show what it did.
    if (m->polling)
        m->priority = ProjectorChannel::Priority::Urgent;
    else
        poll(*m, ProjectorChannel::Priority::Urgent);
}

void PortPoller::lineCommand(const QByteArray& framed, int projector, const QList<int>& pollAfter,
                             ProjectorChannel::Done done) {
    if (lineFull(done))
        return;
    ++m_commands;
    m_channel.request(
        framed, QByteArray(), kReplyTimeoutMs,
        [this, projector, pollAfter, done = std::move(done)](const Exchange& exchange) {
            --m_commands;
            if (m_events.exchanged)
                m_events.exchanged(projector, exchange);
            done(exchange);
            for (int projector : pollAfter)
                pollAgain(projector);
        },
        ProjectorChannel::Priority::Urgent);
}

} // namespace tavo::gateway
