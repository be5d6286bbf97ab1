#pragma once

#include "AuditLog.h"
#include "PortPoller.h"
#include "ProjectorState.h"
#include "SiteChange.h"
#include "SiteConfig.h"

#include "Exchange.h"
#include "ProjectorChannel.h"
#include "ProjectorCommand.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace tavo {
class LinePort;
class Timer;
} // namespace tavo

namespace tavo::gateway {

// A site's projectors, polled: one poller per port, all at once on the one event loop. The
// fronts (MQTT, HTTP, PJLink) read the states and put commands through here; none of them
// talks to a port itself.
class Gateway : public QObject {
    Q_OBJECT

public:
    // A closed line; each port's poller opens it with the port's device and baud rate.
    using PortFactory = std::function<std::unique_ptr<LinePort>()>;
    using TimerFactory = std::function<std::unique_ptr<Timer>()>;

    Gateway(SiteConfig site, PortFactory makePort, TimerFactory makeTimer, int pollMs,
            ProjectorChannel::Now now, PortPoller::WallClock wallClock, QObject* parent = nullptr);
    ~Gateway() override;

    void start();
    // Closes every port; what waits on a line ends with an error.
    void stop();
    // Takes the site as read again: kept projectors go on untouched (port, lock, queue, state),
    // removed ones leave their line (a port no one uses any more is closed), added ones are
    // read at once. Projectors take their places in `next`; siteChanged() tells the fronts
    // before any signal names a new place.
    SiteChange reload(SiteConfig next);

    const SiteConfig& site() const { return m_site; }
    int projectorCount() const { return int(m_site.projectors.size()); }
    const ProjectorConfig& projector(int index) const { return m_site.projectors[index]; }
    const ProjectorState& state(int index) const { return m_states[size_t(index)]; }
    // -1 for a name the site does not have.
    int indexOf(const QString& name) const;
    bool portOpen(int index) const;
    // The projector's commands waiting or on the wire.
    int queuedCommands(int index) const;

    // What the fronts ask for. Each goes next on the projector's port, ahead of the polls, and is
    // never dropped: `done` always runs, with the reply or the reason. After a command that
    // changes what a poll reads, the projector is read again at once.
    void setPower(int index, bool on, ProjectorChannel::Done done);
    // Inputs 1 to 4; any other is refused through `done`, and nothing is sent.
    void selectInput(int index, int input, ProjectorChannel::Done done);
    // Any command's text, without the CR.
    void send(int index, const QByteArray& text, ProjectorChannel::Done done);
    void send(int index, const ProjectorCommand& command, ProjectorChannel::Done done);
    // The same, and its outcome in the audit log under `origin`: what every front uses for a
    // client's command.
    void sendFrom(const AuditOrigin& origin, int index, const ProjectorCommand& command,
                  ProjectorChannel::Done done);
    // The site's lines: one per port its sections name (the target as written), in the order
    // the file first names them. A line keeps its name across a reload; its place may move.
    QStringList lines() const;
    // The projectors on the line, in site-file order; none for a line the site does not have.
    QList<int> projectorsOn(const QString& line) const;
    // A command framed by its client, address prefix and all, without the CR, for a line: it goes
    // on the wire as given, in turn with every front's commands, and its outcome is audited
    // under `origin` and the projector it addresses. After a power or input command the
    // projectors it may have reached are read again. Refused through `done` for a line the site
    // does not have (any more).
    void sendOnLine(const AuditOrigin& origin, const QString& line, const QByteArray& framed,
                    ProjectorChannel::Done done);
    // Where the fronts also tell what they turned away; main() adds the sinks.
    AuditLog& audit() { return m_audit; }

signals:
    // Its readings or availability changed, or its poll was answered for the first time.
    void stateChanged(int index);
    // After each poll of the projector, changed or not.
    void polled(int index);
    // Every exchange, polls and commands alike, for counters and histograms.
    void exchanged(int index, const tavo::Exchange& exchange);
    void portOpenFailed(const QString& target, const QString& reason);
    // After reload() moved the projectors: the fronts follow it before anything else is told.
    void siteChanged(const tavo::gateway::SiteChange& change);

private:
    // The pollers know projectors by a key that a reload does not change.
    int indexOfKey(int key) const;
    void indexKeys();
    PortPoller& pollerFor(const ProjectorConfig& p);
    void takePoll(int key, const ProjectorState& reading);

    SiteConfig m_site;
    PortFactory m_makePort;
    TimerFactory m_makeTimer;
    int m_pollMs;
    ProjectorChannel::Now m_now;
    PortPoller::WallClock m_wallClock;
    AuditLog m_audit;
    std::vector<ProjectorState> m_states;
    std::vector<bool> m_seen;
    std::vector<int> m_keys; // of each projector
    // Key to index: every exchange and poll of a large site looks its projector up.
    std::unordered_map<int, int> m_indexOfKey;
    int m_nextKey = 0;
    bool m_started = false;
    std::map<QString, std::unique_ptr<PortPoller>> m_pollers; // by port
};

} // namespace tavo::gateway
