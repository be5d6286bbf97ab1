#pragma once

#include <QAbstractEventDispatcher>

#include <atomic>
#include <unordered_map>
#include <vector>

class QSocketNotifier;

namespace tavo::gateway {

// An event dispatcher for one thread on Linux's epoll. Qt's own dispatchers hand the kernel
// every socket notifier's descriptor on each wake-up, so a process holding thousands of
// sockets pays for all of them on every exchange; here the kernel keeps the set and each
// wake-up returns only what is ready. Timers are kept sorted by due time and waited for to
// the nanosecond (every timer behaves as Qt::PreciseTimer); posted events and wakeUp() from
// other threads come through an eventfd.
class EpollEventDispatcher final : public QAbstractEventDispatcher {
    Q_OBJECT
public:
    explicit EpollEventDispatcher(QObject* parent = nullptr);
    ~EpollEventDispatcher() override;

    // False when the kernel refused an epoll or eventfd descriptor: use Qt's dispatcher.
    bool isValid() const { return m_epoll >= 0 && m_wakeOnly >= 0 && m_eventFd >= 0; }

    bool processEvents(QEventLoop::ProcessEventsFlags flags) override;

    void registerSocketNotifier(QSocketNotifier* notifier) override;
    void unregisterSocketNotifier(QSocketNotifier* notifier) override;

    void registerTimer(int timerId, qint64 interval, Qt::TimerType timerType,
                       QObject* object) override;
    bool unregisterTimer(int timerId) override;
    bool unregisterTimers(QObject* object) override;
    QList<TimerInfo> registeredTimers(QObject* object) const override;
    int remainingTime(int timerId) override;

    void wakeUp() override;
    void interrupt() override;

private:
    struct Timer {
        QObject* object = nullptr; // none: the id is free
        qint64 intervalMs = 0;
        Qt::TimerType type = Qt::PreciseTimer;
        qint64 dueNs = 0; // on CLOCK_MONOTONIC
        quint64 seq = 0;  // of its one current entry in the due heap
    };
    struct Due {
        qint64 dueNs;
        quint64 seq; // orders timers due at once by when they were set
        int id;
    };
    struct Watch {
        QSocketNotifier* notifiers[3] = {nullptr, nullptr, nullptr}; // Read, Write, Exception
        unsigned events = 0;                                         // as given to epoll
        bool polled = true;   // false: a regular file, which epoll refuses and is always ready
        bool dirty = false;   // its notifiers changed since the kernel was last told
        bool recheck = false; // tell the kernel even if the events look the same
    };

    static qint64 nowNs();
    void markDirty(int fd, Watch& watch);
    void applyWatches();
    void updateWatch(int fd, Watch& watch);
    int activateTimers();
    static bool later(const Due& a, const Due& b);
    Timer* liveTimer(int timerId);
    void schedule(int timerId, Timer& timer);
    const Due* soonest();
    void dropTimer(Timer& timer);
    int activateNotifiers(const void* ready, int count);
    void forgetPending(QSocketNotifier* notifier);
    bool drainWakeUps();

    int m_epoll = -1;    // the notifiers' descriptors and the eventfd
    int m_wakeOnly = -1; // the eventfd alone, for passes that leave notifiers out
    int m_eventFd = -1;
    std::atomic<bool> m_wakeUpPending{false};
    std::atomic<bool> m_interrupted{false};

    std::unordered_map<int, Watch> m_watches;
    int m_unpolled = 0; // watches of descriptors epoll refused
    // Descriptors whose notifiers changed in this pass; the kernel hears of them just before
    // the next wait, so a write notifier turned on and off again in one pass (a socket written
    // and flushed at once) costs no system call.
    std::vector<int> m_dirty;
    // Indexed by timer id (Qt hands out small ids and reuses them). A timer restarted for every
    // exchange costs no allocation: its old heap entry is left behind, recognised as stale by
    // its sequence number, and the heap is rebuilt once stale entries outnumber live ones.
    std::vector<Timer> m_timers;
    std::vector<Due> m_due; // a min-heap on (due, seq)
    int m_liveTimers = 0;
    quint64 m_seq = 0;
    // Notifiers found ready but not yet told, one list per nested processEvents(): one that is
    // disabled or destroyed meanwhile is struck out of every list.
    std::vector<std::vector<QSocketNotifier*>*> m_pending;
};

} // namespace tavo::gateway
