#pragma once

#include "Outcome.h"
#include "Plan.h"

#include "ProjectorChannel.h"

#include <QList>

#include <functional>
#include <optional>

namespace tavo {
class LinePort;
class Timer;
} // namespace tavo

namespace tavo::ctl {

// The command every projector of a run gets.
struct Request {
    QByteArray commandText; // without address and CR
    bool waitReady = false; // poll until " Power ON"
    int waitSeconds = 60;
    int timeoutMs = 1000;
    int pollIntervalMs = 1000;
};

// One port and the projectors behind it: opens the port once (without holding up the other
// ports' sessions) and runs the projectors one after another on its channel, since they share
// the wire. Everything happens on the event loop.
class PortSession {
public:
    using ResultHandler = std::function<void(int index, const Outcome& outcome)>;

    // The projectors added are all behind `device`, opened at `baud`.
    PortSession(LinePort& port, Timer& replyTimer, Timer& pollTimer, const Request& request,
                const QString& device, int baud, ResultHandler onResult,
                std::function<void()> onDone, ProjectorChannel::Now now);

    void add(int index, const ProjectorEntry& projector);
    void start();
    // Ends the run now: the projector on the wire and those still waiting are reported as not
    // tried, with `reason`, and the port is closed.
    void stop(const QString& reason);

private:
    struct Job {
        int index;
        QByteArray prefix;
    };

    void nextJob();
    void exchange();
    void exchangeEnded(const Exchange& exchange);
    void finishJob(const Outcome& outcome);
    void skipRest(const QString& reason);

    ProjectorChannel m_channel;
    Timer& m_pollTimer;
    Request m_request;
    QString m_device;
    int m_baud;
    ResultHandler m_onResult;
    std::function<void()> m_onDone;
    ProjectorChannel::Now m_now;

    QList<Job> m_queue;
    std::optional<Job> m_current;
    bool m_finished = false;
    qint64 m_sentAt = 0;
    qint64 m_readyBy = 0; // wait-ready gives up when the next poll would be later
};

} // namespace tavo::ctl
