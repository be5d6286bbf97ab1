#include "FakeSerialPort.h"
#include "MemorySettingsStore.h"
#include "VirtualClock.h"

#include "Form1Window.h"
#include "PanelCommands.h"

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using namespace tavo;
using namespace tavo::test;

namespace {

// The real panel window over the fake port and the virtual clock.
struct PanelWindowFixture {
    VirtualClock clock;
    FakeTimer timer1{clock, 200};
    FakeTimer timer2{clock, 10000};
    FakeTimer timer4{clock, 10500};
    FakeSerialPort port;
    MemorySettingsStore store;
    Globals globals;
    Form1Window window{Form1Parts{port, timer1, timer2, timer4, store, globals}};
    int quits = 0;
    QList<bool> portDialogs; // modal?
    int consoles = 0;

    explicit PanelWindowFixture(const QString& comPort = QStringLiteral("1")) {
        store.values = {{QStringLiteral("ComPort"), comPort},
                        {QStringLiteral("BaudRate"), QStringLiteral("96")}};
        window.setQuit([this] { ++quits; });
        window.setPortDialogOpener([this](bool modal) { portDialogs << modal; });
        window.setConsoleOpener([this] { ++consoles; });
        window.load();
        window.show();
    }

    template <class T = QPushButton> T* control(const QString& name) const {
        T* found = window.controls().widget<T>(name);
        if (!found)
            qFatal("no control %s", qPrintable(name));
        return found;
    }
    QString text(const char* label) const { return control<QLabel>(QLatin1String(label))->text(); }
};

} // namespace

class TestPanelWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyOneShotButtonSends_data();
    void everyOneShotButtonSends();
    void aClickSendsOnceBeforeTheButtonRepaints_data();
    void aClickSendsOnceBeforeTheButtonRepaints();
    void aPressIsDrawnOnTheNextPass_data();
    void aPressIsDrawnOnTheNextPass();
    void everyArrowRepeatsWhileHeld_data();
    void everyArrowRepeatsWhileHeld();
    void anyMouseButtonStartsARepeat_data();
    void anyMouseButtonStartsARepeat();
    void spaceOnAnArrowSendsNothing();
    void holdChangesTheIntervals();
    void addressOptionsPrefixEverySend();
    void ctrlH_data();
    void ctrlH();
    void statusReplyIsDecodedOnScreen();
    void comClosesThePortAndOpensTheDialog();
    void commandTableHidesStatus();
    void endStoresTheAddressAndQuits();
};

void TestPanelWindow::everyOneShotButtonSends_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QByteArray>("wire");
    for (int i = 0; i < kOneShotCount; ++i) {
        const OneShotCommand& row = oneShotCommands()[i];
        QTest::newRow(row.control)
            << QString::fromLatin1(row.control) << QByteArray(row.command) + '\r';
    }
}

void TestPanelWindow::everyOneShotButtonSends() {
    QFETCH(QString, control);
    QFETCH(QByteArray, wire);
    PanelWindowFixture f;
    QTest::mouseClick(f.control(control), Qt::LeftButton);
    QCOMPARE(f.port.wire, wire);
}

namespace {

enum class Gesture { LeftMouse, ReleasedOutside, RightMouse, Space, ClickCall };

// How many writes the port had seen at each paint of a widget.
class PaintRecorder : public QObject {
public:
    PaintRecorder(QWidget* widget, const FakeSerialPort& port) : m_port(port) {
        widget->installEventFilter(this);
    }
    QList<int> writesAtPaint;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            writesAtPaint << int(m_port.writes.size());
        return false;
    }

private:
    const FakeSerialPort& m_port;
};

} // namespace

Q_DECLARE_METATYPE(Gesture)

void TestPanelWindow::aClickSendsOnceBeforeTheButtonRepaints_data() {
    QTest::addColumn<Gesture>("gesture");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("sends");
    QTest::addColumn<bool>("beforeRepaint"); // the command is out before the release's repaint
    QTest::newRow("left release on the button") << Gesture::LeftMouse << true << 1 << true;
    QTest::newRow("release outside") << Gesture::ReleasedOutside << true << 0 << false;
    QTest::newRow("right button") << Gesture::RightMouse << true << 0 << false;
    QTest::newRow("space") << Gesture::Space << true << 1 << true;
    QTest::newRow("click() (shortcut, screen reader)") << Gesture::ClickCall << true << 1 << false;
    QTest::newRow("disabled, left") << Gesture::LeftMouse << false << 0 << false;
    QTest::newRow("disabled, space") << Gesture::Space << false << 0 << false;
}

void TestPanelWindow::aClickSendsOnceBeforeTheButtonRepaints() {
    QFETCH(Gesture, gesture);
    QFETCH(bool, enabled);
    QFETCH(int, sends);
    QFETCH(bool, beforeRepaint);
    PanelWindowFixture f;
    QVERIFY(QTest::qWaitForWindowExposed(&f.window)); // an unexposed button never repaints
    QPushButton* on = f.control(QStringLiteral("Command17"));
    on->setFocus();
    on->setEnabled(enabled);
    const Qt::MouseButton mouse = gesture == Gesture::RightMouse ? Qt::RightButton : Qt::LeftButton;
    const bool byMouse = gesture != Gesture::Space && gesture != Gesture::ClickCall;
    PaintRecorder paints(on, f.port);
    if (byMouse)
        QTest::mousePress(on, mouse);
    else if (gesture == Gesture::Space)
        QTest::keyPress(on, Qt::Key_Space);
    QVERIFY2(paints.writesAtPaint.isEmpty(), "the press painted before returning");
    if (gesture == Gesture::ReleasedOutside)
        QTest::mouseRelease(on, mouse, {}, QPoint(-5, -5));
    else if (byMouse)
        QTest::mouseRelease(on, mouse);
    else if (gesture == Gesture::Space)
        QTest::keyRelease(on, Qt::Key_Space);
    else
        on->click();
    QCOMPARE(f.port.writes.size(), sends);
    if (sends > 0)
        QCOMPARE(f.port.wire, QByteArray("C00\r"));
    if (beforeRepaint) {
        QVERIFY(!paints.writesAtPaint.isEmpty());
        QCOMPARE(paints.writesAtPaint.first(), 1);
    }
}

void TestPanelWindow::aPressIsDrawnOnTheNextPass_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<bool>("byMouse");
    QTest::newRow("On, mouse") << QStringLiteral("Command17") << true;
    QTest::newRow("On, space") << QStringLiteral("Command17") << false;
    QTest::newRow("ZOOM up, mouse (held)") << QStringLiteral("Command30") << true;
}

void TestPanelWindow::aPressIsDrawnOnTheNextPass() {
    QFETCH(QString, control);
    QFETCH(bool, byMouse);
    PanelWindowFixture f;
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    QPushButton* button = f.control(control);
    button->setFocus();
    PaintRecorder paints(button, f.port);
    if (byMouse)
        QTest::mousePress(button, Qt::LeftButton);
    else
        QTest::keyPress(button, Qt::Key_Space);
    QVERIFY(button->isDown());
    QTRY_VERIFY_WITH_TIMEOUT(!paints.writesAtPaint.isEmpty(), 2000);
    QVERIFY(button->updatesEnabled());
    if (byMouse)
        QTest::mouseRelease(button, Qt::LeftButton);
    else
        QTest::keyRelease(button, Qt::Key_Space);
}

void TestPanelWindow::everyArrowRepeatsWhileHeld_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QByteArray>("command");
    for (int i = 0; i < kRepeatCount; ++i) {
        const RepeatCommand& row = repeatCommands()[i];
        QTest::newRow(row.control) << QString::fromLatin1(row.control) << QByteArray(row.command);
    }
}

void TestPanelWindow::everyArrowRepeatsWhileHeld() {
    QFETCH(QString, control);
    QFETCH(QByteArray, command);
    PanelWindowFixture f;
    QPushButton* arrow = f.control(control);
    QTest::mousePress(arrow, Qt::LeftButton);
    QCOMPARE(f.port.writes.size(), 1);
    f.clock.advance(1000);
    QTest::mouseRelease(arrow, Qt::LeftButton);
    f.clock.advance(1000);
    QCOMPARE(f.port.writes.size(), 11);
    for (const QByteArray& w : qAsConst(f.port.writes))
        QCOMPARE(w, command + '\r');
}

void TestPanelWindow::anyMouseButtonStartsARepeat_data() {
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("right") << Qt::RightButton << Qt::KeyboardModifiers();
    QTest::newRow("middle") << Qt::MiddleButton << Qt::KeyboardModifiers();
    QTest::newRow("left with shift+ctrl+alt")
        << Qt::LeftButton
        << Qt::KeyboardModifiers(Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
}

void TestPanelWindow::anyMouseButtonStartsARepeat() {
    QFETCH(Qt::MouseButton, button);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    PanelWindowFixture f;
    QPushButton* zoomUp = f.control(QStringLiteral("Command30"));
    QTest::mousePress(zoomUp, button, modifiers);
    f.clock.advance(300);
    QTest::mouseRelease(zoomUp, button, modifiers);
    f.clock.advance(300);
    QCOMPARE(f.port.wire, QByteArray("C47\rC47\rC47\rC47\r"));
}

void TestPanelWindow::spaceOnAnArrowSendsNothing() {
    PanelWindowFixture f;
    QPushButton* zoomUp = f.control(QStringLiteral("Command30"));
    zoomUp->setFocus();
    QTest::keyClick(zoomUp, Qt::Key_Space);
    f.clock.advance(500);
    QVERIFY(f.port.wire.isEmpty());
}

void TestPanelWindow::holdChangesTheIntervals() {
    PanelWindowFixture f;
    QPushButton* focusUp = f.control(QStringLiteral("Command1"));
    QTest::mousePress(focusUp, Qt::LeftButton);
    QCOMPARE(f.timer1.interval(), 100);
    QCOMPARE(f.timer2.interval(), 150);
    QCOMPARE(f.timer4.interval(), 200);
    QTest::mousePress(focusUp, Qt::RightButton); // second button: ignored
    QTest::mouseRelease(focusUp, Qt::LeftButton);
    QCOMPARE(f.timer2.interval(), 500);
    QCOMPARE(f.timer4.interval(), 1000);
    QVERIFY(f.text("Label11").isEmpty());
    QCOMPARE(f.port.wire, QByteArray("C4B\r"));
}

void TestPanelWindow::addressOptionsPrefixEverySend() {
    PanelWindowFixture f;
    const char* const prefixes[] = {"", "AFFF", "A001", "A002", "A003", "A004"};
    for (int option = 1; option <= 6; ++option) {
        f.port.wire.clear();
        QTest::mouseClick(f.control<QRadioButton>(QStringLiteral("Option%1").arg(option)),
                          Qt::LeftButton);
        QVERIFY(f.port.wire.isEmpty());
        QTest::mouseClick(f.control(QStringLiteral("Command17")), Qt::LeftButton);
        QCOMPARE(f.port.wire, QByteArray(prefixes[option - 1]) + "C00\r");
    }
}

void TestPanelWindow::ctrlH_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<bool>("toggles");
    const auto ctrl = Qt::KeyboardModifiers(Qt::ControlModifier);
    QTest::newRow("Ctrl+H on a button") << "Command17" << ctrl << true;
    QTest::newRow("Ctrl+H on an arrow") << "Command30" << ctrl << true;
    QTest::newRow("Ctrl+H on an option") << "Option4" << ctrl << true;
    QTest::newRow("H alone") << "Command17" << Qt::KeyboardModifiers() << false;
    QTest::newRow("Ctrl+Shift+H") << "Command17"
                                  << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::ShiftModifier)
                                  << false;
    QTest::newRow("Ctrl+Alt+H") << "Command17"
                                << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier)
                                << false;
}

void TestPanelWindow::ctrlH() {
    QFETCH(QString, focus);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(bool, toggles);
    PanelWindowFixture f;
    f.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f.window));
    QWidget* target = f.control<QWidget>(focus);
    target->setFocus();
    QTRY_VERIFY(target->hasFocus());
    const int compact = f.window.height();

    QTest::keyClick(target, Qt::Key_H, modifiers);
    QCOMPARE(f.window.windowHeightTwips(), toggles ? 8100 : 5100);
    if (!toggles) {
        QCOMPARE(f.window.height(), compact);
        return;
    }
    // 3000 twips more client area: 200 pixels at 96 dpi.
    QCOMPARE(f.window.height() - compact,
             twipsToPixels(8100, f.window.dpi()) - twipsToPixels(5100, f.window.dpi()));
    QTest::keyClick(target, Qt::Key_H, modifiers);
    QCOMPARE(f.window.windowHeightTwips(), 5100);
    QCOMPARE(f.window.height(), compact);
}

void TestPanelWindow::statusReplyIsDecodedOnScreen() {
    PanelWindowFixture f;
    QTest::mouseClick(f.control(QStringLiteral("Command44")), Qt::LeftButton);
    f.port.receive("00\r");
    QCOMPARE(f.text("Label25"), QStringLiteral(" Power ON"));
    QCOMPARE(f.text("Label12"), QStringLiteral(" 0 0  [CR] "));
    QVERIFY(f.control<QLabel>(QStringLiteral("Label28"))->isVisibleTo(&f.window));
    QCOMPARE(f.control<QLabel>(QStringLiteral("Label25"))->textFormat(), Qt::PlainText);
    f.clock.advance(1200);
    QVERIFY(f.text("Label25").isEmpty());
    QVERIFY(!f.control<QLabel>(QStringLiteral("Label28"))->isVisibleTo(&f.window));
}

void TestPanelWindow::comClosesThePortAndOpensTheDialog() {
    PanelWindowFixture f;
    QVERIFY(f.port.portOpen());
    QTest::mouseClick(f.control(QStringLiteral("Command33")), Qt::LeftButton);
    QVERIFY(!f.port.portOpen());
    QCOMPARE(f.portDialogs, QList<bool>{false});
    QCOMPARE(f.globals.SavedPortNumber, qint16(1));

    // Closed already: the dialog is asked for again all the same.
    QTest::mouseClick(f.control(QStringLiteral("Command33")), Qt::LeftButton);
    QCOMPARE(f.portDialogs, (QList<bool>{false, false}));
}

void TestPanelWindow::commandTableHidesStatus() {
    PanelWindowFixture f;
    QWidget* status = f.control<QWidget>(QStringLiteral("Frame15"));
    QVERIFY(status->isVisibleTo(&f.window));
    QTest::mouseClick(f.control(QStringLiteral("Command74")), Qt::LeftButton);
    QVERIFY(!status->isVisibleTo(&f.window));
    QCOMPARE(f.consoles, 1);
    QCOMPARE(f.timer2.interval(), 7000);
    QCOMPARE(f.timer4.interval(), 7500);
}

void TestPanelWindow::endStoresTheAddressAndQuits() {
    PanelWindowFixture f;
    QTest::mouseClick(f.control<QRadioButton>(QStringLiteral("Option3")), Qt::LeftButton);
    QTest::mouseClick(f.control(QStringLiteral("Command16")), Qt::LeftButton);
    QCOMPARE(f.store.values.value(QStringLiteral("ADRESS")), QStringLiteral("A001"));
    QVERIFY(!f.port.portOpen());
    QCOMPARE(f.quits, 1);
    QVERIFY(!f.window.isVisible());
}

QTEST_MAIN(TestPanelWindow)
#include "tst_panel_window.moc"
