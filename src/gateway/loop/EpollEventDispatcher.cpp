#include "EpollEventDispatcher.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimerEvent>

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <limits>

namespace tavo::gateway {

namespace {

constexpr qint64 kNsPerMs = 1000000;
constexpr int kMaxReady = 256; // more stay ready for the next pass (level-triggered)

constexpr unsigned kWanted[3] = {EPOLLIN, EPOLLOUT, EPOLLPRI};
// What wakes each kind of notifier: the same as Qt's poll()-based dispatcher, a hang-up or an
// error wakes all of them.
constexpr unsigned kWakes[3] = {EPOLLIN | EPOLLHUP | EPOLLERR, EPOLLOUT | EPOLLHUP | EPOLLERR,
                                EPOLLPRI | EPOLLHUP | EPOLLERR};

// epoll_pwait2 waits to the nanosecond; kernels before 5.11 (or a seccomp filter that does not
// know it) leave epoll_wait, whose milliseconds are rounded up so a timer never fires early.
int waitFor(int epoll, epoll_event* events, qint64 waitNs) {
    static std::atomic<bool> precise{true};
    if (precise.load(std::memory_order_relaxed)) {
        timespec timeout{time_t(waitNs / 1000000000), long(waitNs % 1000000000)};
        const int n =
            ::epoll_pwait2(epoll, events, kMaxReady, waitNs < 0 ? nullptr : &timeout, nullptr);
        if (n >= 0 || (errno != ENOSYS && errno != EPERM))
            return n;
        precise = false;
    }
    const int ms = waitNs < 0 ? -1
                              : int(std::min<qint64>((waitNs + kNsPerMs - 1) / kNsPerMs,
                                                     std::numeric_limits<int>::max()));
    return ::epoll_wait(epoll, events, kMaxReady, ms);
}

} // namespace

EpollEventDispatcher::EpollEventDispatcher(QObject* parent) : QAbstractEventDispatcher(parent) {
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    m_wakeOnly = ::epoll_create1(EPOLL_CLOEXEC);
    m_eventFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (!isValid())
        return;
    epoll_event wake{};
    wake.events = EPOLLIN;
    wake.data.fd = m_eventFd;
    ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_eventFd, &wake);
    ::epoll_ctl(m_wakeOnly, EPOLL_CTL_ADD, m_eventFd, &wake);
}

EpollEventDispatcher::~EpollEventDispatcher() {
    for (int fd : {m_epoll, m_wakeOnly, m_eventFd})
        if (fd >= 0)
            ::close(fd);
}

qint64 EpollEventDispatcher::nowNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

bool EpollEventDispatcher::processEvents(QEventLoop::ProcessEventsFlags flags) {
    m_interrupted.store(false);
    emit awake();
    QCoreApplication::sendPostedEvents();

    const bool withTimers = !(flags & QEventLoop::X11ExcludeTimers);
    const bool withNotifiers = !(flags & QEventLoop::ExcludeSocketNotifiers);
    // Everything posted meanwhile has called wakeUp(), so the eventfd keeps the wait short.
    const bool canWait = (flags & QEventLoop::WaitForMoreEvents) && !m_interrupted.load();
    if (canWait)
        emit aboutToBlock();
    if (m_interrupted.load())
        return false;

    applyWatches();
    qint64 waitNs = -1;
    if (!canWait || (withNotifiers && m_unpolled > 0))
        waitNs = 0;
    else if (const Due* next = withTimers ? soonest() : nullptr)
        waitNs = std::max<qint64>(0, next->dueNs - nowNs());

    epoll_event ready[kMaxReady];
    int count = waitFor(withNotifiers ? m_epoll : m_wakeOnly, ready, waitNs);
    if (count < 0) {
        if (errno != EINTR)
            qWarning("EpollEventDispatcher: epoll_wait: %s", std::strerror(errno));
        count = 0;
    }
    int handled = 0;
    for (int i = 0; i < count; ++i) {
        if (ready[i].data.fd == m_eventFd) {
            handled += drainWakeUps() ? 1 : 0;
            ready[i].data.fd = -1;
        }
    }
    if (withNotifiers)
        handled += activateNotifiers(ready, count);
    if (withTimers)
        handled += activateTimers();
    return handled > 0;
}

bool EpollEventDispatcher::drainWakeUps() {
    quint64 value = 0;
    const bool read = ::read(m_eventFd, &value, sizeof value) == ssize_t(sizeof value);
    m_wakeUpPending.store(false, std::memory_order_release);
    return read;
}

int EpollEventDispatcher::activateNotifiers(const void* readyEvents, int count) {
    const auto* ready = static_cast<const epoll_event*>(readyEvents);
    std::vector<QSocketNotifier*> pending;
    for (int i = 0; i < count; ++i) {
        const auto watch = m_watches.find(ready[i].data.fd);
        if (watch == m_watches.end())
            continue;
        for (int type = 0; type < 3; ++type)
            if (watch->second.notifiers[type] && (ready[i].events & kWakes[type]))
                pending.push_back(watch->second.notifiers[type]);
    }
    if (m_unpolled > 0) {
        for (const auto& [fd, watch] : m_watches)
            if (!watch.polled)
                for (QSocketNotifier* notifier : watch.notifiers)
                    if (notifier)
                        pending.push_back(notifier);
    }
    if (pending.empty())
        return 0;
    m_pending.push_back(&pending);
    int told = 0;
    for (size_t i = 0; i < pending.size(); ++i) {
        QSocketNotifier* notifier = pending[i];
        if (!notifier)
            continue;
        pending[i] = nullptr;
        QEvent event(QEvent::SockAct);
        QCoreApplication::sendEvent(notifier, &event);
        ++told;
    }
    m_pending.pop_back();
    return told;
}

// std::*_heap keep the greatest on top: "later" puts the soonest there.
bool EpollEventDispatcher::later(const Due& a, const Due& b) {
    return a.dueNs != b.dueNs ? a.dueNs > b.dueNs : a.seq > b.seq;
}

EpollEventDispatcher::Timer* EpollEventDispatcher::liveTimer(int timerId) {
    if (timerId <= 0 || size_t(timerId) >= m_timers.size() || !m_timers[size_t(timerId)].object)
        return nullptr;
    return &m_timers[size_t(timerId)];
}

void EpollEventDispatcher::schedule(int timerId, Timer& timer) {
    timer.seq = ++m_seq;
    m_due.push_back({timer.dueNs, timer.seq, timerId});
    std::push_heap(m_due.begin(), m_due.end(), later);
}

// The heap's top after dropping entries of timers since killed or restarted.
const EpollEventDispatcher::Due* EpollEventDispatcher::soonest() {
    while (!m_due.empty()) {
        const Due& top = m_due.front();
        const Timer* timer = liveTimer(top.id);
        if (timer && timer->seq == top.seq)
            return &top;
        std::pop_heap(m_due.begin(), m_due.end(), later);
        m_due.pop_back();
    }
    return nullptr;
}

void EpollEventDispatcher::dropTimer(Timer& timer) {
    timer.object = nullptr;
    --m_liveTimers;
    if (m_due.size() <= size_t(2 * m_liveTimers + 64))
        return;
    m_due.clear();
    for (size_t id = 0; id < m_timers.size(); ++id)
        if (m_timers[id].object)
            m_due.push_back({m_timers[id].dueNs, m_timers[id].seq, int(id)});
    std::make_heap(m_due.begin(), m_due.end(), later);
}

int EpollEventDispatcher::activateTimers() {
    const Due* next = soonest();
    if (!next)
        return 0;
    const qint64 now = nowNs();
    if (next->dueNs > now)
        return 0;
    // Each timer due now fires once in this pass, even one of 0 ms that stays due.
    std::vector<Due> due;
    for (; next && next->dueNs <= now; next = soonest()) {
        due.push_back(*next);
        std::pop_heap(m_due.begin(), m_due.end(), later);
        m_due.pop_back();
    }
    int fired = 0;
    for (const Due& entry : due) {
        Timer* timer = liveTimer(entry.id);
        // Killed by an earlier timer's handler, or the id given again to another timer.
        if (!timer || timer->seq != entry.seq)
            continue;
        // From the due time, not from now, so lateness does not add up; ticks missed
        // altogether are dropped, as Qt does.
        timer->dueNs += timer->intervalMs * kNsPerMs;
        if (timer->dueNs < now)
            timer->dueNs = now + timer->intervalMs * kNsPerMs;
        QObject* object = timer->object;
        schedule(entry.id, *timer); // may move m_timers: not used after this
        QTimerEvent event(entry.id);
        QCoreApplication::sendEvent(object, &event);
        ++fired;
    }
    return fired;
}

void EpollEventDispatcher::registerSocketNotifier(QSocketNotifier* notifier) {
    const int fd = int(notifier->socket());
    const int type = int(notifier->type());
    if (fd < 0 || type < 0 || type > 2)
        return;
    Watch& watch = m_watches[fd];
    if (watch.notifiers[type] && watch.notifiers[type] != notifier) {
        qWarning("EpollEventDispatcher: a second socket notifier of one type for socket %d", fd);
        watch.recheck = true; // the first one's descriptor may have been closed
    }
    watch.notifiers[type] = notifier;
    markDirty(fd, watch);
}

void EpollEventDispatcher::unregisterSocketNotifier(QSocketNotifier* notifier) {
    forgetPending(notifier);
    const auto found = m_watches.find(int(notifier->socket()));
    const int type = int(notifier->type());
    if (found == m_watches.end() || type < 0 || type > 2 ||
        found->second.notifiers[type] != notifier)
        return;
    Watch& watch = found->second;
    watch.notifiers[type] = nullptr;
    // The last one gone: the descriptor may be closed next and its number come back as another
    // socket within this pass, so the kernel is told now.
    if (!watch.notifiers[0] && !watch.notifiers[1] && !watch.notifiers[2])
        updateWatch(found->first, watch);
    else
        markDirty(found->first, watch);
}

void EpollEventDispatcher::forgetPending(QSocketNotifier* notifier) {
    for (std::vector<QSocketNotifier*>* list : m_pending)
        for (QSocketNotifier*& entry : *list)
            if (entry == notifier)
                entry = nullptr;
}

void EpollEventDispatcher::markDirty(int fd, Watch& watch) {
    if (watch.dirty)
        return;
    watch.dirty = true;
    m_dirty.push_back(fd);
}

void EpollEventDispatcher::applyWatches() {
    for (int fd : m_dirty) {
        const auto found = m_watches.find(fd);
        if (found == m_watches.end() || !found->second.dirty)
            continue;
        found->second.dirty = false;
        updateWatch(fd, found->second);
    }
    m_dirty.clear();
}

// Brings the kernel's interest list in line with the descriptor's notifiers. A descriptor
// closed without its notifiers being disabled has left epoll on its own, and its number may
// have come back as another socket: EPOLL_CTL_MOD then fails and it is added afresh.
void EpollEventDispatcher::updateWatch(int fd, Watch& watch) {
    unsigned wanted = 0;
    for (int type = 0; type < 3; ++type)
        if (watch.notifiers[type])
            wanted |= kWanted[type];
    const bool added = watch.events != 0;
    if (!watch.polled) {
        if (wanted == 0) {
            --m_unpolled;
            m_watches.erase(fd);
        }
        return;
    }
    epoll_event event{};
    event.events = wanted;
    event.data.fd = fd;
    if (wanted == 0) {
        if (added)
            ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, &event);
        m_watches.erase(fd);
        return;
    }
    if (wanted == watch.events && !watch.recheck)
        return; // turned off and on again (or on and off) within the pass
    watch.recheck = false;
    int rc = ::epoll_ctl(m_epoll, added ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &event);
    if (rc != 0 && errno == ENOENT)
        rc = ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event);
    else if (rc != 0 && errno == EEXIST)
        rc = ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, fd, &event);
    if (rc == 0) {
        watch.events = wanted;
    } else if (errno == EPERM) { // a regular file: always ready, as poll() says
        watch.polled = false;
        ++m_unpolled;
    } else {
        qWarning("EpollEventDispatcher: socket %d: %s", fd, std::strerror(errno));
        watch.events = wanted; // kept, so the notifier's unregistering finds it
    }
}

void EpollEventDispatcher::registerTimer(int timerId, qint64 interval, Qt::TimerType timerType,
                                         QObject* object) {
    if (timerId <= 0 || interval < 0 || !object)
        return;
    unregisterTimer(timerId);
    if (size_t(timerId) >= m_timers.size())
        m_timers.resize(size_t(timerId) + 1);
    Timer& timer = m_timers[size_t(timerId)];
    timer.object = object;
    timer.intervalMs = interval;
    timer.type = timerType;
    timer.dueNs = nowNs() + interval * kNsPerMs;
    ++m_liveTimers;
    schedule(timerId, timer);
}

bool EpollEventDispatcher::unregisterTimer(int timerId) {
    Timer* timer = liveTimer(timerId);
    if (!timer)
        return false;
    dropTimer(*timer);
    return true;
}

bool EpollEventDispatcher::unregisterTimers(QObject* object) {
    if (!object)
        return false;
    bool any = false;
    for (Timer& timer : m_timers) {
        if (timer.object == object) {
            dropTimer(timer);
            any = true;
        }
    }
    return any;
}

QList<QAbstractEventDispatcher::TimerInfo>
EpollEventDispatcher::registeredTimers(QObject* object) const {
    QList<TimerInfo> timers;
    for (size_t id = 0; id < m_timers.size(); ++id)
        if (m_timers[id].object == object)
            timers.append(TimerInfo(int(id), int(m_timers[id].intervalMs), m_timers[id].type));
    return timers;
}

int EpollEventDispatcher::remainingTime(int timerId) {
    const Timer* timer = liveTimer(timerId);
    if (!timer)
        return -1;
    const qint64 left = std::max<qint64>(0, timer->dueNs - nowNs());
    return int((left + kNsPerMs - 1) / kNsPerMs);
}

void EpollEventDispatcher::wakeUp() {
    // One write until the loop has read it: a burst of posts from other threads costs one.
    if (m_wakeUpPending.exchange(true, std::memory_order_acq_rel))
        return;
    const quint64 one = 1;
    while (::write(m_eventFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void EpollEventDispatcher::interrupt() {
    m_interrupted.store(true);
    wakeUp();
}

} // namespace tavo::gateway
