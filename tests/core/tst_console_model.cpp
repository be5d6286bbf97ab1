#include "LinkFixture.h"

#include "ConsoleModel.h"

#include <QTest>

using namespace tavo;
using namespace tavo::test;
using catalogue::List;

Q_DECLARE_METATYPE(tavo::catalogue::List)

namespace {

// Records what the console shows. Hints start visible, as designed.
class FakeConsoleView : public ConsoleView {
public:
    void showList(List list) override { visibleList = list; }
    void selectRow(List list, int row) override { selectedRow[int(list)] = row; }
    void setHintVisible(ConsoleHint hint, bool visible) override { hints[int(hint)] = visible; }
    void setCommandText(const QString& text) override { commandText = text; }
    void focusCommandText() override { ++focusMoves; }
    void setWindowHeightTwips(int height) override { heightTwips = height; }
    void moveListsTop(int twips) override { listsTop = twips; }
    void setSendEnabled(bool enabled) override { sendEnabled = enabled; }
    void closeWindow() override { closing << QStringLiteral("closeWindow"); }

    bool hint(ConsoleHint h) const { return hints[int(h)]; }

    List visibleList = List::Combo3;
    int selectedRow[3] = {-1, -1, -1};
    bool hints[2] = {true, true};
    QString commandText;
    int focusMoves = 0;
    int heightTwips = 0;
    int listsTop = 0;
    bool sendEnabled = true;
    QStringList closing; // shared with the close callback, to see the order
};

// The main window in console mode with the console just opened.
struct ConsoleFixture : LinkFixture {
    FakeConsoleView console;
    ConsoleModel model{link, console, [this] { console.closing << QStringLiteral("onClosed"); }};

    explicit ConsoleFixture(const QString& address = QString()) {
        loadLinked(address);
        // What "Command Table" does before showing the console.
        timer2.setInterval(7000);
        timer4.setInterval(7500);
        model.Form_Load();
    }

    void listButton(List list) {
        switch (list) {
        case List::Combo1:
            model.Command3_Click();
            break;
        case List::Combo2:
            model.Command4_Click();
            break;
        case List::Combo3:
            model.Command5_Click();
            break;
        }
    }

    // The operator picks an entry: the list is shown first, as only the
    // visible list can be picked from.
    void pick(List list, int row) {
        if (console.visibleList != list)
            listButton(list);
        console.selectedRow[int(list)] = row;
        model.comboClick(list, row);
    }

    // The operator edits Text1: the window raises the change event.
    void type(const QString& text) {
        console.commandText = text;
        model.Text1_Change(text);
    }
};

} // namespace

class TestConsoleModel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void openingShowsFirstBasicEntry();
    void firstSendAfterOpening();
    void sendRunsBothTimersAFullIntervalFromItself();
    void typedText_data();
    void typedText();
    void repeatedSendsCarryThePrefixOnce();
    void expandedSelectionShowsParameterHint_data();
    void expandedSelectionShowsParameterHint();
    void parameterHintSurvivesSwitchToBasicList();
    void basicAndReadSelectionsLeaveParameterHint_data();
    void basicAndReadSelectionsLeaveParameterHint();
    void selection_data();
    void selection();
    void consoleSendLeavesCurrentCommand();
    void closing_data();
    void closing();
};

void TestConsoleModel::openingShowsFirstBasicEntry() {
    ConsoleFixture f;
    QCOMPARE(f.console.visibleList, List::Combo1);
    QCOMPARE(f.console.selectedRow[int(List::Combo1)], 0);
    QCOMPARE(f.console.commandText, QStringLiteral("C00[CR]"));
    QCOMPARE(f.model.ConsoleCommand, QByteArray("C00\r"));
    QVERIFY(f.console.hint(ConsoleHint::Label2));
    QVERIFY(!f.console.hint(ConsoleHint::Label1));
    QCOMPARE(f.console.focusMoves, 0);
    QCOMPARE(f.console.heightTwips, 2500);
    QCOMPARE(f.console.listsTop, 1560);
    QVERIFY(f.console.sendEnabled);
    QVERIFY(f.port.wire.isEmpty());
}

void TestConsoleModel::firstSendAfterOpening() {
    ConsoleFixture f;
    f.model.Command1_Click();
    QCOMPARE(f.port.wire, QByteArray("C00\r"));
    QCOMPARE(f.line(Line::Label11), QStringLiteral(" C 0 0  [CR] "));
    QVERIFY(!f.console.hint(ConsoleHint::Label2));
    QVERIFY(!f.console.hint(ConsoleHint::Label1));
    // Sending keeps the text, the list and the command as they are.
    QCOMPARE(f.model.ConsoleCommand, QByteArray("C00\r"));
    QCOMPARE(f.console.commandText, QStringLiteral("C00[CR]"));
    QCOMPARE(f.console.visibleList, List::Combo1);
}

void TestConsoleModel::sendRunsBothTimersAFullIntervalFromItself() {
    ConsoleFixture f;
    f.panelSend("CR0"); // arms both timers at t = 0
    f.clock.advance(3000);
    f.model.Command1_Click();
    QVERIFY(f.timer2.isEnabled());
    QVERIFY(f.timer4.isEnabled());
    QCOMPARE(f.timer2.dueAt(), 3000 + 7000);
    QCOMPARE(f.timer4.dueAt(), 3000 + 7500);
    f.clock.advanceTo(9999);
    QCOMPARE(f.timer2.fired, 0);
    QCOMPARE(f.line(Line::Label12), QString());
    f.clock.advanceTo(10000);
    QCOMPARE(f.timer2.fired, 1);
    QCOMPARE(f.line(Line::Label12), QStringLiteral(" X X X X "));
    f.clock.advanceTo(10500);
    QCOMPARE(f.timer4.fired, 1);
    QCOMPARE(f.line(Line::Label11), QString());
}

void TestConsoleModel::typedText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<bool>("sendable");
    // clang-format off
    QTest::newRow("no marker")          << "C05"                  << QByteArray("C05\r")          << true;
    QTest::newRow("other bracket text") << "C05[xyz"              << QByteArray("C05\r")          << true;
    QTest::newRow("second bracket")     << "C05[CR][CR]"          << QByteArray("C05\r")          << true;
    QTest::newRow("leading bracket")    << "[abc"                 << QByteArray("\r")             << true;
    QTest::newRow("percent left in")    << "CF CONT 0%%[CR]"      << QByteArray("CF CONT 0%%\r")  << true;
    QTest::newRow("spaces kept")        << " c05 "                << QByteArray(" c05 \r")        << true;
    QTest::newRow("latin-1 byte")       << "C0\u00e9"             << QByteArray("C0\xe9\r")       << true;
    QTest::newRow("wide after bracket") << "C05[\u20ac"           << QByteArray("C05\r")          << true;
    QTest::newRow("empty")              << ""                     << QByteArray()                 << false;
    QTest::newRow("euro sign")          << "C0\u20ac"             << QByteArray()                 << false;
    QTest::newRow("CJK")                << "C0\u4e00[CR]"         << QByteArray()                 << false;
    QTest::newRow("pasted CR")          << "C00\rC01"             << QByteArray()                 << false;
    QTest::newRow("pasted line feed")   << "C00\nC01[CR]"         << QByteArray()                 << false;
    QTest::newRow("pasted tab")         << "C\t00"                << QByteArray()                 << false;
    QTest::newRow("DEL")                << "C00\x7f"              << QByteArray()                 << false;
    QTest::newRow("control after bracket") << "C05[\r"           << QByteArray("C05\r")          << true;
    // clang-format on
}

void TestConsoleModel::typedText() {
    QFETCH(QString, text);
    QFETCH(QByteArray, command);
    QFETCH(bool, sendable);
    ConsoleFixture f;
    f.type(text);
    QCOMPARE(f.model.ConsoleCommand, command);
    QCOMPARE(f.console.sendEnabled, sendable);
    // Editing the text leaves the hints alone.
    QVERIFY(f.console.hint(ConsoleHint::Label2));
    f.model.Command1_Click();
    QCOMPARE(f.port.wire, command);
    QCOMPARE(f.timer2.isEnabled(), sendable);
}

void TestConsoleModel::repeatedSendsCarryThePrefixOnce() {
    ConsoleFixture f(QStringLiteral("A001"));
    f.type(QStringLiteral("C05"));
    f.model.Command1_Click();
    f.model.Command1_Click();
    QCOMPARE(f.port.writes, (QList<QByteArray>{"A001C05\r", "A001C05\r"}));
    QCOMPARE(f.model.ConsoleCommand, QByteArray("C05\r"));
}

void TestConsoleModel::expandedSelectionShowsParameterHint_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("parameter");
    // clang-format off
    QTest::newRow("digits in command")      << 2   << "CF CONT 0%%[CR]"          << true;
    QTest::newRow("one digit")              << 12  << "CF COLMNSAV 00%[CR]"      << true;
    QTest::newRow("% only in description")  << 167 << "CF INPUT1 DIGITAL[CR]"    << true;
    QTest::newRow("% only in description 2")<< 567 << "CF PIPMODEFREE USER1[CR]" << true;
    QTest::newRow("no %")                   << 3   << "CF BRIGHT UP[CR]"         << false;
    QTest::newRow("no %, no description")   << 746 << "CF VMUTE OFF[CR]"         << false;
    // clang-format on
}

void TestConsoleModel::expandedSelectionShowsParameterHint() {
    QFETCH(int, row);
    QFETCH(QString, text);
    QFETCH(bool, parameter);
    ConsoleFixture f;
    f.model.Command4_Click(); // first expanded entry has no "%"
    QCOMPARE(f.console.focusMoves, 0);
    // Start from the opposite hint state, so that the selection must set it.
    f.console.hints[int(ConsoleHint::Label1)] = !parameter;
    f.model.comboClick(List::Combo2, row);
    QCOMPARE(f.console.hint(ConsoleHint::Label1), parameter);
    QCOMPARE(f.console.focusMoves, parameter ? 1 : 0);
    QVERIFY(f.console.hint(ConsoleHint::Label2));
    QCOMPARE(f.console.commandText, text);
    QCOMPARE(f.model.ConsoleCommand, text.chopped(4).toLatin1() + '\r');
}

void TestConsoleModel::parameterHintSurvivesSwitchToBasicList() {
    ConsoleFixture f;
    f.pick(List::Combo2, 2);
    QVERIFY(f.console.hint(ConsoleHint::Label1));
    f.model.Command3_Click();
    QCOMPARE(f.console.visibleList, List::Combo1);
    QCOMPARE(f.console.commandText, QStringLiteral("C00[CR]"));
    QVERIFY(f.console.hint(ConsoleHint::Label1));
    f.model.Command1_Click();
    QVERIFY(!f.console.hint(ConsoleHint::Label1));
}

void TestConsoleModel::basicAndReadSelectionsLeaveParameterHint_data() {
    QTest::addColumn<List>("list");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("hintBefore");
    QTest::newRow("basic, hint shown") << List::Combo1 << 38 << true;
    QTest::newRow("basic, hint hidden") << List::Combo1 << 38 << false;
    QTest::newRow("read, hint shown") << List::Combo3 << 60 << true;
    QTest::newRow("read, hint hidden") << List::Combo3 << 60 << false;
}

void TestConsoleModel::basicAndReadSelectionsLeaveParameterHint() {
    QFETCH(List, list);
    QFETCH(int, row);
    QFETCH(bool, hintBefore);
    ConsoleFixture f;
    f.listButton(list);
    f.console.hints[int(ConsoleHint::Label1)] = hintBefore;
    f.console.hints[int(ConsoleHint::Label2)] = false;
    f.model.comboClick(list, row);
    QCOMPARE(f.console.hint(ConsoleHint::Label1), hintBefore);
    QVERIFY(f.console.hint(ConsoleHint::Label2));
    QCOMPARE(f.console.focusMoves, 0);
}

void TestConsoleModel::selection_data() {
    QTest::addColumn<List>("list");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("command");
    // clang-format off
    QTest::newRow("basic first")      << List::Combo1 << 0   << "C00[CR]"                   << QByteArray("C00\r");
    QTest::newRow("basic C05")        << List::Combo1 << 2   << "C05[CR]"                   << QByteArray("C05\r");
    QTest::newRow("basic status")     << List::Combo1 << 38  << "CR0[CR]"                   << QByteArray("CR0\r");
    QTest::newRow("basic last")       << List::Combo1 << 43  << "CR7[CR]"                   << QByteArray("CR7\r");
    QTest::newRow("expanded first")   << List::Combo2 << 0   << "CF CONT UP[CR]"            << QByteArray("CF CONT UP\r");
    QTest::newRow("expanded bare")    << List::Combo2 << 1   << "CF CONT DN[CR]"            << QByteArray("CF CONT DN\r");
    QTest::newRow("expanded quote")   << List::Combo2 << 600 << "CF CMMSL RED %%%%[CR]"     << QByteArray("CF CMMSL RED %%%%\r");
    QTest::newRow("expanded CR LF")   << List::Combo2 << 561 << "CF PIPFRAMELOCK SUB[CR]"   << QByteArray("CF PIPFRAMELOCK SUB\r");
    QTest::newRow("expanded last")    << List::Combo2 << 746 << "CF VMUTE OFF[CR]"          << QByteArray("CF VMUTE OFF\r");
    QTest::newRow("read first")       << List::Combo3 << 0   << "CR CONT[CR]"               << QByteArray("CR CONT\r");
    QTest::newRow("read hyphen")      << List::Combo3 << 80  << "CR P-MANETIME[CR]"         << QByteArray("CR P-MANETIME\r");
    QTest::newRow("read no text")     << List::Combo3 << 60  << "CR LAMPCONSTCUR[CR]"       << QByteArray("CR LAMPCONSTCUR\r");
    QTest::newRow("read last")        << List::Combo3 << 149 << "CR SHUTCOND[CR]"           << QByteArray("CR SHUTCOND\r");
    // clang-format on
}

void TestConsoleModel::selection() {
    QFETCH(List, list);
    QFETCH(int, row);
    QFETCH(QString, text);
    QFETCH(QByteArray, command);
    ConsoleFixture f;
    f.type(QString()); // SEND disabled; the selection's own text must enable it
    f.pick(list, row);
    QCOMPARE(f.console.commandText, text);
    QCOMPARE(f.model.ConsoleCommand, command);
    QVERIFY(f.console.sendEnabled);
    f.model.Command1_Click();
    QCOMPARE(f.port.wire, command);
}

void TestConsoleModel::consoleSendLeavesCurrentCommand() {
    ConsoleFixture f(QStringLiteral("A001"));
    f.panelSend("CR0");
    QCOMPARE(f.globals.CurrentCommand, QByteArray("A001CR0\r"));
    f.model.Command1_Click();
    QCOMPARE(f.port.writes.last(), QByteArray("A001C00\r"));
    QCOMPARE(f.globals.CurrentCommand, QByteArray("A001CR0\r"));
    QCOMPARE(f.model.ConsoleCommand, QByteArray("C00\r"));
}

void TestConsoleModel::closing_data() {
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("CLOSE") << false;
    QTest::newRow("close box") << true;
}

void TestConsoleModel::closing() {
    QFETCH(bool, closeBox);
    ConsoleFixture f;
    if (closeBox)
        f.model.closeBox();
    else
        f.model.Command2_Click();
    QCOMPARE(f.console.closing, (QStringList{"closeWindow", "onClosed"}));
    QVERIFY(f.port.wire.isEmpty());
}

QTEST_GUILESS_MAIN(TestConsoleModel)
#include "tst_console_model.moc"
