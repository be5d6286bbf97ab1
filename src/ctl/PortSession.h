#pragma once

#include "HeadlessView.h"
#include "Outcome.h"
#include "Plan.h"

#include "Globals.h"
#include "ProjectorLink.h"

#include <QList>

#include <functional>
#include <optional>

namespace tavo {
class SerialPort;
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

// One port and the projectors behind it. Opens the port once and runs the
// projectors one after another, since they share the wire, through the
// console's own transmit routine and reply display. Everything happens on
// the event loop: the port's receive event and the timers drive it.
class PortSession {
public:
    using ResultHandler = std::function<void(int index, const Outcome& outcome)>;
    // Milliseconds on a steady clock; only differences are used.
    using Now = std::function<qint64()>;

    PortSession(SerialPort& port, Timer& replyTimer, Timer& pollTimer, const Request& request,
                int baud, ResultHandler onResult, std::function<void()> onDone, Now now);

    void add(int index, const ProjectorEntry& projector);
    void start();

private:
    struct Job {
        int index;
        QByteArray prefix;
    };

    void nextJob();
    void exchange();
    void onComm();
    void onReplyTimeout();
    void exchangeEnded(Outcome::Status status, const QString& error);
    void finishJob(Outcome outcome);

    SerialPort& m_port;
    Timer& m_replyTimer;
    Timer& m_pollTimer;
    IdleTimer m_displayTimer;
    NoSettings m_store;
    HeadlessView m_view;
    Globals m_globals;
    ProjectorLink m_link;
    Request m_request;
    int m_baud;
    ResultHandler m_onResult;
    std::function<void()> m_onDone;
    Now m_now;

    QList<Job> m_queue;
    std::optional<Job> m_current;
    bool m_awaiting = false;
    Outcome m_last;
    qint64 m_sentAt = 0;
    qint64 m_readyBy = 0; // wait-ready gives up when the next poll would be later
};

} // namespace tavo::ctl
