#include "EpollEventDispatcher.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <thread>

using namespace tavo::gateway;

namespace {

// A connected pair of local sockets, closed at the end of the scope.
struct SocketPair {
    int fd[2] = {-1, -1};
    SocketPair() { ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fd); }
    ~SocketPair() {
        ::close(fd[0]);
        ::close(fd[1]);
    }
};

} // namespace

class TestEpollDispatcher : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void timers_data();
    void timers();
    void notifiers_data();
    void notifiers();
    void notifierGoneWhileReady_data();
    void notifierGoneWhileReady();
    void toggledInOnePass_data();
    void toggledInOnePass();
    void descriptorReusedInOnePass();
    void restartedTimerFiresOnce();
    void fromAnotherThread_data();
    void fromAnotherThread();

private:
    EpollEventDispatcher* m_dispatcher = nullptr;
};

void TestEpollDispatcher::initTestCase() {
    m_dispatcher = qobject_cast<EpollEventDispatcher*>(QAbstractEventDispatcher::instance());
    QVERIFY(m_dispatcher);
}

void TestEpollDispatcher::timers_data() {
    QTest::addColumn<QList<int>>("intervals");
    QTest::newRow("registered longest first") << QList<int>{40, 20, 5};
    QTest::newRow("ties fire in the order started") << QList<int>{10, 0, 10, 25};
}

// Timers fire in due order, never early; a long one tells its interval and what is left of it.
void TestEpollDispatcher::timers() {
    QFETCH(QList<int>, intervals);
    QElapsedTimer clock;
    clock.start();
    std::vector<std::pair<int, qint64>> fired;
    std::vector<std::unique_ptr<QTimer>> timers;
    for (int i = 0; i < intervals.size(); ++i) {
        timers.push_back(std::make_unique<QTimer>());
        QTimer* timer = timers.back().get();
        timer->setTimerType(Qt::PreciseTimer);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, this,
                [&fired, &clock, i] { fired.emplace_back(i, clock.elapsed()); });
        timer->start(intervals[i]);
    }
    QObject holder;
    const int longId = holder.startTimer(60000, Qt::PreciseTimer);
    QTRY_COMPARE(fired.size(), size_t(intervals.size()));

    std::vector<int> expected(size_t(intervals.size()));
    for (int i = 0; i < intervals.size(); ++i)
        expected[size_t(i)] = i;
    std::stable_sort(expected.begin(), expected.end(),
                     [&](int a, int b) { return intervals[a] < intervals[b]; });
    for (size_t i = 0; i < fired.size(); ++i) {
        QCOMPARE(fired[i].first, expected[i]);
        QVERIFY2(fired[i].second >= intervals[fired[i].first], "a timer fired early");
    }
    const int left = m_dispatcher->remainingTime(longId);
    QVERIFY2(left > 50000 && left <= 60000, qPrintable(QString::number(left)));
    const auto infos = m_dispatcher->registeredTimers(&holder);
    QCOMPARE(infos.size(), 1);
    QCOMPARE(infos[0].timerId, longId);
    QCOMPARE(infos[0].interval, 60000);
    holder.killTimer(longId);
    QCOMPARE(m_dispatcher->remainingTime(longId), -1);
    QVERIFY(m_dispatcher->registeredTimers(&holder).isEmpty());
}

void TestEpollDispatcher::notifiers_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("peerWrites");
    QTest::addColumn<bool>("fires");
    QTest::newRow("read, the peer wrote") << int(QSocketNotifier::Read) << true << true;
    QTest::newRow("read, nothing came") << int(QSocketNotifier::Read) << false << false;
    QTest::newRow("write, room to write") << int(QSocketNotifier::Write) << false << true;
}

// A notifier fires while its socket is ready, and not once after it is disabled.
void TestEpollDispatcher::notifiers() {
    QFETCH(int, type);
    QFETCH(bool, peerWrites);
    QFETCH(bool, fires);
    SocketPair pair;
    QSocketNotifier notifier(pair.fd[0], QSocketNotifier::Type(type));
    int activations = 0;
    connect(&notifier, &QSocketNotifier::activated, this, [&] {
        ++activations;
        notifier.setEnabled(false); // still ready: only disabling stops it
    });
    if (peerWrites)
        QCOMPARE(::write(pair.fd[1], "x", 1), ssize_t(1));
    QTest::qWait(50);
    QCOMPARE(activations, fires ? 1 : 0);
    if (fires) { // enabled again, ready still: fires again
        notifier.setEnabled(true);
        QTRY_COMPARE(activations, 2);
    }
}

void TestEpollDispatcher::notifierGoneWhileReady_data() {
    QTest::addColumn<bool>("deleted");
    QTest::newRow("disabled") << false;
    QTest::newRow("deleted") << true;
}

// Two sockets ready in one pass: the first one's handler disables or deletes the other's
// notifier, which must not be told.
void TestEpollDispatcher::notifierGoneWhileReady() {
    QFETCH(bool, deleted);
    SocketPair a;
    SocketPair b;
    auto first = std::make_unique<QSocketNotifier>(a.fd[0], QSocketNotifier::Read);
    auto second = std::make_unique<QSocketNotifier>(b.fd[0], QSocketNotifier::Read);
    int told = 0;
    auto silenceOther = [&](std::unique_ptr<QSocketNotifier>& other) {
        ++told;
        (other == first ? second : first)->setEnabled(false); // itself: still readable
        if (deleted)
            other.reset();
        else
            other->setEnabled(false);
    };
    connect(first.get(), &QSocketNotifier::activated, this, [&] { silenceOther(second); });
    connect(second.get(), &QSocketNotifier::activated, this, [&] { silenceOther(first); });
    QCOMPARE(::write(a.fd[1], "x", 1), ssize_t(1));
    QCOMPARE(::write(b.fd[1], "x", 1), ssize_t(1));
    m_dispatcher->processEvents(QEventLoop::AllEvents);
    QCOMPARE(told, 1);
    m_dispatcher->processEvents(QEventLoop::AllEvents);
    QCOMPARE(told, 1);
}

void TestEpollDispatcher::toggledInOnePass_data() {
    QTest::addColumn<bool>("enabledFirst");
    QTest::addColumn<bool>("fires");
    QTest::newRow("on, then off and on again") << true << true;
    QTest::newRow("off, then on and off again") << false << false;
}

// A write notifier switched twice between two waits ends as it was last set.
void TestEpollDispatcher::toggledInOnePass() {
    QFETCH(bool, enabledFirst);
    QFETCH(bool, fires);
    SocketPair pair;
    QSocketNotifier writer(pair.fd[0], QSocketNotifier::Write);
    writer.setEnabled(enabledFirst);
    int activations = 0;
    connect(&writer, &QSocketNotifier::activated, this, [&] {
        ++activations;
        writer.setEnabled(false);
    });
    QSocketNotifier reader(pair.fd[0], QSocketNotifier::Read);
    int reads = 0;
    connect(&reader, &QSocketNotifier::activated, this, [&] {
        ++reads;
        reader.setEnabled(false);
    });
    QTest::qWait(20);
    activations = 0;
    writer.setEnabled(!enabledFirst);
    writer.setEnabled(enabledFirst);
    QCOMPARE(::write(pair.fd[1], "x", 1), ssize_t(1));
    QTest::qWait(50);
    QCOMPARE(activations, fires ? 1 : 0);
    QCOMPARE(reads, 1);
}

// A descriptor closed and its number given to another socket before the loop waits again:
// the new socket's notifier is heard.
void TestEpollDispatcher::descriptorReusedInOnePass() {
    SocketPair first;
    SocketPair second;
    auto old = std::make_unique<QSocketNotifier>(first.fd[0], QSocketNotifier::Read);
    QTest::qWait(10);
    old.reset();
    QCOMPARE(::dup2(second.fd[0], first.fd[0]), first.fd[0]); // closes the first socket
    QSocketNotifier notifier(first.fd[0], QSocketNotifier::Read);
    int activations = 0;
    connect(&notifier, &QSocketNotifier::activated, this, [&] {
        ++activations;
        notifier.setEnabled(false);
    });
    QCOMPARE(::write(second.fd[1], "x", 1), ssize_t(1));
    QTRY_COMPARE(activations, 1);
}

// Restarted many times over (old due times left behind and swept out), a timer fires once,
// counted from its last start.
void TestEpollDispatcher::restartedTimerFiresOnce() {
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setSingleShot(true);
    QElapsedTimer sinceLastStart;
    QList<qint64> fired;
    connect(&timer, &QTimer::timeout, this, [&] { fired << sinceLastStart.elapsed(); });
    for (int i = 0; i < 500; ++i) {
        timer.start(30 - i % 20);
        sinceLastStart.start();
    }
    QTRY_COMPARE(fired.size(), 1);
    QVERIFY2(fired[0] >= 30 - 499 % 20, qPrintable(QString::number(fired[0])));
    QTest::qWait(60);
    QCOMPARE(fired.size(), 1);
}

void TestEpollDispatcher::fromAnotherThread_data() {
    QTest::addColumn<bool>("interrupt");
    QTest::newRow("an event posted") << false;
    QTest::newRow("interrupt()") << true;
}

// A loop asleep with nothing to do wakes for an event posted, or an interrupt(), from another
// thread, well before its only timer.
void TestEpollDispatcher::fromAnotherThread() {
    QFETCH(bool, interrupt);
    bool delivered = false;
    bool timedOut = false;
    QTimer bound;
    bound.setTimerType(Qt::PreciseTimer);
    bound.setSingleShot(true);
    connect(&bound, &QTimer::timeout, this, [&timedOut] { timedOut = true; });
    bound.start(5000);
    QElapsedTimer clock;
    clock.start();
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        if (interrupt)
            m_dispatcher->interrupt();
        else
            QMetaObject::invokeMethod(
                this, [&delivered] { delivered = true; }, Qt::QueuedConnection);
    });
    // Woken, it returns; what was posted is sent at the start of the next pass.
    m_dispatcher->processEvents(QEventLoop::WaitForMoreEvents);
    m_dispatcher->processEvents(QEventLoop::AllEvents);
    other.join();
    QVERIFY(!timedOut);
    QVERIFY2(clock.elapsed() >= 25, "returned before the other thread asked");
    QCOMPARE(delivered, !interrupt);
}

int main(int argc, char* argv[]) {
    QCoreApplication::setEventDispatcher(new EpollEventDispatcher);
    QCoreApplication app(argc, argv);
    TestEpollDispatcher test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_epoll_dispatcher.moc"
