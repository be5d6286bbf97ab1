#pragma once

#include "ProjectorState.h"
#include "SiteConfig.h"

#include "ProjectorChannel.h"

#include <QList>

#include <functional>
#include <memory>

namespace tavo {
class LinePort;
class Timer;
} // namespace tavo

namespace tavo::gateway {

// One port of the site and the projectors behind it: holds the port open (trying again each poll
// period while it will not open), reads every projector's power, input, lamp hours, temperatures
// and reversal each period, and puts commands on the line ahead of the polls.
class PortPoller {
public:
    // Told after each projector's reads, and after each exchange (for the metrics).
    struct Events {
        std::function<void(int projector, const ProjectorState& state)> polled;
        std::function<void(int projector, const Exchange& exchange)> exchanged;
        std::function<void(const QString& reason)> openFailed;
    };
    // Milliseconds on a steady clock, and the wall clock for `updated`.
    using WallClock = std::function<QDateTime()>;

    static constexpr int kReplyTimeoutMs = 1000;
    // Commands waiting (the one on the wire included) for one projector, and for the whole line;
    // one more is refused at once (Exchange::Status::Busy). At the reply time-out 64 commands
    // are about a minute of line time. Polls keep every fifth turn of a busy line
    // (ProjectorChannel::kUrgentRun).
    static constexpr int kCommandsPerProjector = 16;
    static constexpr int kCommandsPerLine = 64;

    // `projectors`: (the gateway's key for it, its configuration), all on this port, which is
    // opened as `device` at `baud`. Keys, not places in the site: they stay while a reload moves
    // projectors around.
    PortPoller(std::unique_ptr<LinePort> port, std::unique_ptr<Timer> replyTimer,
               std::unique_ptr<Timer> pollTimer, QList<QPair<int, ProjectorConfig>> projectors,
               const QString& device, int baud, int pollMs, ProjectorChannel::Now now,
               WallClock wallClock, Events events);
    ~PortPoller();

    void start();
    void stop();
    bool isOpen() const;

    // A reload: a projector joins the line (read at once when the line is open) or leaves it (its
    // reads under way are dropped; what it was sent still ends through `done`).
    void addProjector(int projector, const ProjectorConfig& config);
    void removeProjector(int projector);
    bool hasProjectors() const;
    int baud() const { return m_baud; }
    // The projector's commands waiting or on the wire.
    int queued(int projector) const;

    // On the line behind the commands already waiting, ahead of the polls; the projector is read
    // again right after when `pollAfter`. Refused at once past the bounds above.
    void command(int projector, const QByteArray& text, bool pollAfter,
                 ProjectorChannel::Done done);
    // A command its client framed itself (its own address prefix, if any), on the line as
    // given, in turn with the other commands; counted against the line's bound only. The
    // projectors in `pollAfter` are read again right after it; the exchange is told under
    // `projector`.
    void lineCommand(const QByteArray& framed, int projector, const QList<int>& pollAfter,
                     ProjectorChannel::Done done);

private:
    struct Member;
    void pollAll();
    void poll(Member& member, ProjectorChannel::Priority priority);
    void read(Member& member, int step, ProjectorState reading);
    Member* member(int projector);
    bool lineFull(ProjectorChannel::Done& done);
    void pollAgain(int projector);

    std::unique_ptr<LinePort> m_port;
    std::unique_ptr<Timer> m_replyTimer;
    std::unique_ptr<Timer> m_pollTimer;
    ProjectorChannel m_channel;
    QList<Member> m_members;
    QString m_device;
    int m_baud;
    WallClock m_wallClock;
    Events m_events;
    int m_commands = 0; // waiting or on the wire, all projectors
    bool m_opening = false;
    bool m_stopped = true;
};

} // namespace tavo::gateway
