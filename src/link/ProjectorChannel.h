#pragma once

#include "Exchange.h"

#include <QByteArray>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace tavo {

class LinePort;
class Timer;

// The projector protocol on one serial line, for programs without the panel: each request is
// framed with its projector's address and CR, goes out when the one before it has ended, and ends
// with a whole reply (CR or ACK), its time-out, or the loss of the line. Each priority is a queue
// of its own, in the order the requests came: urgent ones go ahead of the normal ones, but while
// normal ones wait, at most kUrgentRun urgent ones go out in a row, so a stream of urgent
// requests cannot hold the normal ones back for ever. Replies to the status reads are decoded
// with the console's own tables.
//
// Runs on the event loop: the port's receive event and the reply timer drive it. `done` may run
// before request() returns (a refused command, a closed port); it may queue further requests or
// close the channel, but not destroy it.
class ProjectorChannel {
public:
    using Done = std::function<void(const Exchange& exchange)>;
    // Milliseconds on a steady clock; only differences are used.
    using Now = std::function<qint64()>;

    static constexpr int kReceiveLimit = 1024;
    // Urgent requests that go out in a row while a normal one waits; then the oldest normal goes.
    static constexpr int kUrgentRun = 4;

    ProjectorChannel(LinePort& port, Timer& replyTimer, Now now);
    ~ProjectorChannel();
    ProjectorChannel(const ProjectorChannel&) = delete;
    ProjectorChannel& operator=(const ProjectorChannel&) = delete;

    // Opens `device` at 9600 or 19200 baud without waiting in a loop of its own.
    void open(const QString& device, int baud, std::function<void(bool opened)> done);
    // Ends every request with `reason` (in flight and waiting) and closes the line.
    void close(const QString& reason = QStringLiteral("the port was closed"));
    bool isOpen() const;
    QString openError() const;
    // Told once when the line goes away by itself; the channel is closed by then.
    void setOnLinkLost(std::function<void(const QString& reason)> handler);

    enum class Priority { Normal, Urgent };
    void request(const QByteArray& command, const QByteArray& addressPrefix, int timeoutMs,
                 Done done, Priority priority = Priority::Normal);
    // Requests not yet ended, the one on the wire included.
    int pending() const;

private:
    struct Pending {
        QByteArray command;
        QByteArray prefix;
        int timeoutMs;
        Done done;
    };

    void startNext();
    Pending takeNext();
    void onComm();
    void onReplyTimeout();
    void finish(Exchange::Status status, const QString& error);
    void failAll(const QString& reason, Exchange::Status current = Exchange::Status::Failed);

    LinePort& m_port;
    Timer& m_replyTimer;
    Now m_now;
    std::deque<Pending> m_urgent;
    std::deque<Pending> m_normal;
    int m_urgentRun = 0; // urgent requests sent in a row while normal ones waited
    std::optional<Pending> m_current;
    Exchange m_exchange;
    QString m_caption; // the status words so far, kept as the status line keeps them
    qint64 m_sentAt = 0;
    bool m_starting = false;
    std::function<void(const QString&)> m_onLinkLost;
    // Lets a pending open notice that the channel went away.
    std::shared_ptr<ProjectorChannel*> m_self;
};

} // namespace tavo
