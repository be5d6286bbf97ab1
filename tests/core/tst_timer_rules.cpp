#include "VirtualClock.h"

#include "QtTimer.h"

#include <QTest>

using namespace tavo;
using namespace tavo::test;

// The timer rules the handlers rely on, for the virtual clock the core tests
// run on and for the QTimer adapter the program runs on.
class TestTimerRules : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void enablingARunningTimerKeepsItsCountdown();
    void writingTheIntervalRestartsARunningTimer();
    void writingTheIntervalOfAStoppedTimerDoesNotStartIt();
    void simultaneousTicksRunInArmingOrder();
    void adapterIsPreciseAndKeepsTheRules();
};

void TestTimerRules::enablingARunningTimerKeepsItsCountdown() {
    VirtualClock clock;
    FakeTimer t(clock, 100);
    t.setEnabled(true);
    clock.advance(60);
    t.setEnabled(true);
    clock.advance(39);
    QCOMPARE(t.fired, 0);
    clock.advance(1);
    QCOMPARE(t.fired, 1);
    clock.advance(1000);
    QCOMPARE(t.fired, 11); // periodic from each tick
}

void TestTimerRules::writingTheIntervalRestartsARunningTimer() {
    VirtualClock clock;
    FakeTimer t(clock, 1000);
    t.setEnabled(true);
    clock.advance(900);
    t.setInterval(1000); // same value: still a restart
    clock.advance(999);
    QCOMPARE(t.fired, 0);
    clock.advance(1);
    QCOMPARE(t.fired, 1);
}

void TestTimerRules::writingTheIntervalOfAStoppedTimerDoesNotStartIt() {
    VirtualClock clock;
    FakeTimer t(clock, 1000);
    t.setInterval(10);
    clock.advance(100);
    QCOMPARE(t.fired, 0);
    QVERIFY(!t.isEnabled());
}

void TestTimerRules::simultaneousTicksRunInArmingOrder() {
    VirtualClock clock;
    FakeTimer a(clock, 100);
    FakeTimer b(clock, 100);
    QStringList order;
    a.setOnTimer([&] {
        order << QStringLiteral("a");
        a.setEnabled(false);
    });
    b.setOnTimer([&] {
        order << QStringLiteral("b");
        b.setEnabled(false);
    });
    b.setEnabled(true);
    a.setEnabled(true);
    clock.advance(100);
    QCOMPARE(order, (QStringList{QStringLiteral("b"), QStringLiteral("a")}));
}

void TestTimerRules::adapterIsPreciseAndKeepsTheRules() {
    QtTimer timer(10000);
    QCOMPARE(timer.qtimer().timerType(), Qt::PreciseTimer);
    QVERIFY(!timer.isEnabled());
    timer.setEnabled(true);
    // A restart would put the countdown back to 10000 ms: let it run well below that first.
    QTRY_VERIFY(timer.qtimer().remainingTime() < 9500);
    timer.setEnabled(true);
    const int kept = timer.qtimer().remainingTime();
    QVERIFY2(kept < 9500, qPrintable(QString::number(kept)));
    timer.setInterval(10000); // restarts with a full interval
    QVERIFY(timer.isEnabled());
    QVERIFY(timer.qtimer().remainingTime() > kept);
    timer.setEnabled(false);
    QVERIFY(!timer.isEnabled());
    timer.setInterval(500);
    QVERIFY(!timer.isEnabled());
    QCOMPARE(timer.interval(), 500);
}

QTEST_GUILESS_MAIN(TestTimerRules)
#include "tst_timer_rules.moc"
