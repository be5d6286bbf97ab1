#include "LinkFixture.h"

#include "Form3Window.h"
#include "FormBuilder.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QWindow>

using namespace tavo;
using namespace tavo::test;

namespace {

// A console on screen over the fake port and virtual clock.
struct ConsoleWindowFixture : LinkFixture {
    int closedCalls = 0;
    QPointer<Form3Window> window;

    ConsoleWindowFixture() { loadLinked(); }
    ~ConsoleWindowFixture() { delete window.data(); }

    // True once the new console is the active window (keyboard focus needs it).
    bool open() {
        window = new Form3Window(link, [this] { ++closedCalls; });
        window->show();
        window->activateWindow();
        return QTest::qWaitForWindowActive(window);
    }

    template <class T> T* control(const char* name) const {
        T* found = window->findChild<T*>(QLatin1String(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
    QComboBox* combo(const char* name) const { return control<QComboBox>(name); }
    QLineEdit* text1() const { return control<QLineEdit>("Text1"); }
    QPushButton* button(const char* name) const { return control<QPushButton>(name); }
    bool hintVisible(const char* name) const { return control<QLabel>(name)->isVisible(); }
    QByteArray consoleCommand() const { return window->model().ConsoleCommand; }
    void click(const char* name) { QTest::mouseClick(button(name), Qt::LeftButton); }
};

int pixels(QWidget* w, int twips) {
    return twipsToPixels(twips, w->logicalDpiY());
}

} // namespace

class TestConsoleWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void opensWithBasicList();
    void combosHoldTheCatalogue_data();
    void combosHoldTheCatalogue();
    void sendByMouse();
    void typedCommandIsSent();
    void emptyTextDisablesSend();
    void pastedLinesAreNotSent();
    void arrowKeysStepUntilParameterEntry();
    void typingInComboEditFieldChangesNothing_data();
    void typingInComboEditFieldChangesNothing();
    void listButtons_data();
    void listButtons();
    void closing_data();
    void closing();
    void reopenedConsoleStartsOver();
};

void TestConsoleWindow::opensWithBasicList() {
    ConsoleWindowFixture f;
    QVERIFY(f.open());
    Form3Window* w = f.window;
    QCOMPARE(w->windowTitle(), QStringLiteral("Command List"));
    QVERIFY(w->windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(w->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(w->minimumSize(), w->maximumSize());
    QCOMPARE(w->width(), pixels(w, 10005));
    QTRY_COMPARE(w->frameGeometry().height(), pixels(w, 2500));
    QVERIFY(f.combo("Combo1")->isVisible());
    QVERIFY(!f.combo("Combo2")->isVisible());
    QVERIFY(!f.combo("Combo3")->isVisible());
    for (const char* name : {"Combo1", "Combo2", "Combo3"})
        QCOMPARE(f.combo(name)->y(), pixels(w, 1560));
    QCOMPARE(f.combo("Combo1")->currentIndex(), 0);
    QCOMPARE(f.text1()->text(), QStringLiteral("C00[CR]"));
    QCOMPARE(f.consoleCommand(), QByteArray("C00\r"));
    QVERIFY(f.hintVisible("Label2"));
    QVERIFY(!f.hintVisible("Label1"));
    QVERIFY(f.button("Command1")->isEnabled());
}

void TestConsoleWindow::combosHoldTheCatalogue_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("editable");
    QTest::addColumn<QString>("first");
    QTest::newRow("basic") << "Combo1" << 44 << false << "C00[CR]     :POWER ON";
    QTest::newRow("expanded") << "Combo2" << 747 << true
                              << "CF CONT UP[CR]  \t\t:Set Contrast value";
    QTest::newRow("read") << "Combo3" << 150 << true << "CR CONT[CR] \t:Get Contrast value";
}

void TestConsoleWindow::combosHoldTheCatalogue() {
    QFETCH(QString, name);
    QFETCH(int, count);
    QFETCH(bool, editable);
    QFETCH(QString, first);
    ConsoleWindowFixture f;
    QVERIFY(f.open());
    QComboBox* box = f.combo(name.toLatin1().constData());
    QCOMPARE(box->count(), count);
    QCOMPARE(box->isEditable(), editable);
    QCOMPARE(box->itemText(0), first);
    if (editable)
        QCOMPARE(box->insertPolicy(), QComboBox::NoInsert);
}

void TestConsoleWindow::sendByMouse() {
    ConsoleWindowFixture f;
    QVERIFY(f.open());
    f.click("Command1");
    QCOMPARE(f.port.wire, QByteArray("C00\r"));
    QVERIFY(!f.hintVisible("Label2"));
    QCOMPARE(f.text1()->text(), QStringLiteral("C00[CR]"));
}

void TestConsoleWindow::typedCommandIsSent() {
    ConsoleWindowFixture f;
    QVERIFY(f.open());
    f.text1()->setFocus();
    f.text1()->selectAll();
    QTest::keyClicks(f.text1(), QStringLiteral("C05"));
    QCOMPARE(f.text1()->text(), QStringLiteral("C05"));
    QCOMPARE(f.consoleCommand(), QByteArray("C05\r"));
    f.click("Command1");
    QCOMPARE(f.port.wire, QByteArray("C05\r"));
}

void TestConsoleWindow::emptyTextDisablesSend() {
    ConsoleWindowFixture f;
    QVERIFY(f.open());
    f.text1()->setFocus();
    f.text1()->selectAll();
    QTest::keyClick(f.text1(), Qt::Key_Delete);
    QVERIFY(!f.button("Command1")->isEnabled());
    f.click("Command1");
    QVERIFY(f.port.wire.isEmpty());
    QTest::keyClicks(f.text1(), QStringLiteral("[x"));
    QVERIFY(f.button("Command1")->isEnabled());
    f.click("Command1");
    QCOMPARE(f.port.wire, QByteArray("\r"));
}

// A paste is the one way a CR or LF reaches the text box; nothing of it goes on the line.
void TestConsoleWindow::pastedLinesAreNotSent() {
    ConsoleWindowFixture f;
    QVERIFY(f.open());
    QGuiApplication::clipboard()->setText(QStringLiteral("C00\rC01\nC02"));
    f.text1()->setFocus();
    f.text1()->selectAll();
    QTest::keyClick(f.text1(), Qt::Key_V, Qt::ControlModifier);
    QVERIFY(f.text1()->text().startsWith(QLatin1String("C00")));
    QVERIFY(!f.button("Command1")->isEnabled());
    f.click("Command1");
    QVERIFY(f.port.wire.isEmpty());
}

void TestConsoleWindow::arrowKeysStepUntilParameterEntry() {
    ConsoleWindowFixture f;
    QVERIFY(f.open());
    f.click("Command4");
    QComboBox* expanded = f.combo("Combo2");
    QVERIFY(expanded->isVisible());
    QCOMPARE(expanded->currentIndex(), 0);
    expanded->setFocus();
    QTRY_VERIFY(expanded->hasFocus());

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QCOMPARE(expanded->currentIndex(), 1);
    QCOMPARE(f.text1()->text(), QStringLiteral("CF CONT DN[CR]"));
    QCOMPARE(f.consoleCommand(), QByteArray("CF CONT DN\r"));
    QVERIFY(expanded->hasFocus());
    QVERIFY(!f.hintVisible("Label1"));

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QCOMPARE(expanded->currentIndex(), 2);
    QCOMPARE(f.text1()->text(), QStringLiteral("CF CONT 0%%[CR]"));
    QCOMPARE(f.consoleCommand(), QByteArray("CF CONT 0%%\r"));
    QVERIFY(f.hintVisible("Label1"));
    QTRY_VERIFY(f.text1()->hasFocus());
    QCOMPARE(QApplication::focusWidget(), f.text1());

    // The focus has left the list: the next arrow key selects nothing.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QCOMPARE(expanded->currentIndex(), 2);
    QCOMPARE(f.consoleCommand(), QByteArray("CF CONT 0%%\r"));
}

void TestConsoleWindow::typingInComboEditFieldChangesNothing_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("enter");
    QTest::newRow("expanded") << "Command4"
                              << "Combo2"
                              << "XYZ 12" << false;
    QTest::newRow("expanded, Enter") << "Command4"
                                     << "Combo2"
                                     << "XYZ 12" << true;
    QTest::newRow("expanded, an entry's text") << "Command4"
                                               << "Combo2"
                                               << "CF VMUTE OFF[CR]" << true;
    QTest::newRow("read") << "Command5"
                          << "Combo3"
                          << "CR" << false;
    QTest::newRow("read, an entry's text") << "Command5"
                                           << "Combo3"
                                           << "CR CMMSL GREEN[CR]" << true;
}

void TestConsoleWindow::typingInComboEditFieldChangesNothing() {
    QFETCH(QString, button);
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(bool, enter);
    ConsoleWindowFixture f;
    QVERIFY(f.open());
    f.click(button.toLatin1().constData());
    QComboBox* box = f.combo(name.toLatin1().constData());
    const QString text = f.text1()->text();
    const QByteArray command = f.consoleCommand();
    const int count = box->count();
    box->setFocus();
    QTRY_VERIFY(box->hasFocus());
    box->lineEdit()->selectAll();
    QTest::keyClicks(box, typed);
    QCOMPARE(box->lineEdit()->text(), typed);
    if (enter)
        QTest::keyClick(box, Qt::Key_Return);
    // Leaving the field must not pick an entry either.
    f.text1()->setFocus();
    QTRY_VERIFY(f.text1()->hasFocus());
    QCOMPARE(f.text1()->text(), text);
    QCOMPARE(f.consoleCommand(), command);
    QCOMPARE(box->currentIndex(), 0);
    QCOMPARE(box->count(), count);
}

void TestConsoleWindow::listButtons_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("text");
    QTest::newRow("Basic Command List") << "Command3"
                                        << "Combo1"
                                        << "C00[CR]";
    QTest::newRow("Expand Command List") << "Command4"
                                         << "Combo2"
                                         << "CF CONT UP[CR]";
    QTest::newRow("Expand Read Command List") << "Command5"
                                              << "Combo3"
                                              << "CR CONT[CR]";
}

void TestConsoleWindow::listButtons() {
    QFETCH(QString, button);
    QFETCH(QString, shown);
    QFETCH(QString, text);
    ConsoleWindowFixture f;
    QVERIFY(f.open());
    // Move every list off its first entry, then send to hide the [CR] hint.
    for (const char* name : {"Combo1", "Combo2", "Combo3"})
        f.combo(name)->setCurrentIndex(7);
    f.click("Command1");
    f.click(button.toLatin1().constData());
    for (const char* name : {"Combo1", "Combo2", "Combo3"})
        QCOMPARE(f.combo(name)->isVisible(), shown == QLatin1String(name));
    QComboBox* box = f.combo(shown.toLatin1().constData());
    QCOMPARE(box->currentIndex(), 0);
    QCOMPARE(f.text1()->text(), text);
    QCOMPARE(f.consoleCommand(), text.chopped(4).toLatin1() + '\r');
    QVERIFY(f.hintVisible("Label2"));
}

void TestConsoleWindow::closing_data() {
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("CLOSE") << false;
    QTest::newRow("close box") << true;
}

void TestConsoleWindow::closing() {
    QFETCH(bool, closeBox);
    ConsoleWindowFixture f;
    QVERIFY(f.open());
    if (closeBox)
        f.window->windowHandle()->close();
    else
        f.click("Command2");
    QCOMPARE(f.closedCalls, 1);
    QTRY_VERIFY(f.window.isNull());
    QCOMPARE(f.closedCalls, 1);
    QVERIFY(f.port.wire.isEmpty());
}

void TestConsoleWindow::reopenedConsoleStartsOver() {
    ConsoleWindowFixture f;
    QVERIFY(f.open());
    f.click("Command5");
    f.click("Command2");
    QTRY_VERIFY(f.window.isNull());
    QVERIFY(f.open());
    QVERIFY(f.combo("Combo1")->isVisible());
    QVERIFY(!f.combo("Combo3")->isVisible());
    QCOMPARE(f.text1()->text(), QStringLiteral("C00[CR]"));
    QCOMPARE(f.consoleCommand(), QByteArray("C00\r"));
}

QTEST_MAIN(TestConsoleWindow)
#include "tst_console_window.moc"
