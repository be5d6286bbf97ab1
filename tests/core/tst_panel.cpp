#include "PanelFixture.h"

#include "panel/PanelCommands.h"

#include <QTest>

using namespace tavo;
using namespace tavo::test;

class TestPanel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void oneShot_data();
    void oneShot();
    void twoClicksSendTwice();
    void holdRepeats_data();
    void holdRepeats();
    void shortPressSendsOnce();
    void holdIntervalsAndRelease();
    void secondPressIgnoredSecondReleaseTidiesAgain();
    void tickQueuedAfterReleaseSendsNothing();
    void afterAHoldTheTimeOutIs500();
    void ctrlH_data();
    void ctrlH();
    void comClosesPortAndSavesSettings();
    void commandTableAndConsoleClose();
    void endEndsTheProgram();
    void lostLinkStaysShown_data();
    void lostLinkStaysShown();
};

void TestPanel::oneShot_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("option");
    QTest::addColumn<QByteArray>("wire");
    // Every button, bare and behind one address; the expected bytes are
    // written out here, not derived from the table under test.
    const char* const expected[kOneShotCount][2] = {
        {"Command17", "C00"},
        {"Command18", "C01"},
        {"Command27", "C05"},
        {"Command28", "C06"},
        {"Command53", "C07"},
        {"Command41", "C08"},
        {"Command31", "C0F"},
        {"Command32", "C10"},
        {"Command21", "C0D"},
        {"Command22", "C0E"},
        {"Command25", "C43"},
        {"Command26", "C44"},
        {"Command34", "C8A"},
        {"Command36", "C8B"},
        {"Command23", "C1C"},
        {"Command24", "C1D"},
        {"Command6", "C3F"},
        {"Command13", "C89"},
        {"Command3", "C1E"},
        {"Command73", "C27"},
        {"Command60", "CF KEYDIS NONE"},
        {"Command61", "CF KEYDIS RC"},
        {"Command62", "CF KEYDIS KEY"},
        {"Command44", "CR0"},
        {"Command45", "CR1"},
        {"Command46", "CR3"},
        {"Command47", "CR4"},
        {"Command54", "CR6"},
        {"Command76", "CR7"},
    };
    for (const auto& row : expected) {
        const QByteArray bare = QByteArray(row[1]) + '\r';
        QTest::addRow("%s bare", row[0]) << row[0] << QByteArray(row[1]) << 1 << bare;
        QTest::addRow("%s ALL", row[0]) << row[0] << QByteArray(row[1]) << 2 << "AFFF" + bare;
        QTest::addRow("%s 002", row[0]) << row[0] << QByteArray(row[1]) << 4 << "A002" + bare;
    }
}

void TestPanel::oneShot() {
    QFETCH(QString, control);
    QFETCH(QByteArray, command);
    QFETCH(int, option);
    QFETCH(QByteArray, wire);

    const OneShotCommand* row = findOneShot(control);
    QVERIFY(row);
    QCOMPARE(QByteArray(row->command), command);

    PanelFixture f;
    f.loadLinked();
    f.panel.optionClick(option);
    QVERIFY(f.port.wire.isEmpty()); // selecting an address sends nothing
    f.panel.oneShotClick(row->command);
    QCOMPARE(f.port.wire, wire);
    QCOMPARE(f.globals.CurrentCommand, wire);
}

void TestPanel::twoClicksSendTwice() {
    PanelFixture f;
    f.loadLinked();
    f.panel.oneShotClick("C00");
    f.panel.oneShotClick("C00");
    QCOMPARE(f.port.wire, QByteArray("C00\rC00\r"));
}

void TestPanel::holdRepeats_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("command");
    const char* const expected[kRepeatCount][2] = {
        {"Command30", "C47"}, {"Command42", "C46"}, {"Command5", "C3C"},  {"Command7", "C3D"},
        {"Command38", "C3B"}, {"Command8", "C3A"},  {"Command1", "C4B"},  {"Command2", "C4A"},
        {"Command48", "C30"}, {"Command49", "C31"}, {"Command10", "C8E"}, {"Command35", "C8F"},
        {"Command4", "C91"},  {"Command11", "C90"}, {"Command12", "C5D"}, {"Command20", "C5E"},
        {"Command15", "C5F"}, {"Command19", "C60"},
    };
    for (int i = 0; i < kRepeatCount; ++i) {
        QTest::newRow(expected[i][0]) << expected[i][0] << i + 1 << QByteArray(expected[i][1]);
    }
}

void TestPanel::holdRepeats() {
    QFETCH(QString, control);
    QFETCH(int, code);
    QFETCH(QByteArray, command);

    const RepeatCommand* row = findRepeat(control);
    QVERIFY(row);
    QCOMPARE(int(row->code), code);

    PanelFixture f;
    f.loadLinked(QStringLiteral("A003"));
    f.panel.arrowMouseDown(row->code);
    QCOMPARE(f.port.writes.size(), 1); // at the press, before any tick
    f.clock.advance(1000);
    f.panel.arrowMouseUp();
    f.clock.advance(1000);

    // Sends at 0, 100, ..., 1000 ms: eleven, each with the prefix once.
    QCOMPARE(f.port.writes.size(), 11);
    for (const QByteArray& w : qAsConst(f.port.writes))
        QCOMPARE(w, "A003" + command + '\r');
}

void TestPanel::shortPressSendsOnce() {
    PanelFixture f;
    f.loadLinked();
    f.panel.arrowMouseDown(1);
    f.clock.advance(99);
    f.panel.arrowMouseUp();
    f.clock.advance(500);
    QCOMPARE(f.port.wire, QByteArray("C47\r"));
}

void TestPanel::holdIntervalsAndRelease() {
    PanelFixture f;
    f.loadLinked();
    f.panel.arrowMouseDown(7);
    QCOMPARE(f.timer1.interval(), 100);
    QCOMPARE(f.timer2.interval(), 150);
    QCOMPARE(f.timer4.interval(), 200);
    QCOMPARE(f.link.state.HoldActive, qint16(1));
    QCOMPARE(f.link.state.RepeatCode, quint8(7));

    f.clock.advance(120);
    f.port.receive("\x06");
    f.clock.advance(30); // Timer2 at 150 ms: the ACK arrived, no mark
    QVERIFY(f.line(Line::Label12) != QStringLiteral(" X X X X "));

    f.clock.advanceTo(450);
    f.panel.arrowMouseUp();
    QCOMPARE(f.link.state.RepeatCode, quint8(0));
    QCOMPARE(f.link.state.HoldActive, qint16(0));
    QVERIFY(!f.timer1.isEnabled());
    QVERIFY(!f.timer2.isEnabled());
    QVERIFY(f.timer4.isEnabled());
    QCOMPARE(f.timer2.interval(), 500);
    QCOMPARE(f.timer4.interval(), 1000);
    QVERIFY(f.line(Line::Label11).isEmpty());
    QVERIFY(f.line(Line::Label12).isEmpty());
    QVERIFY(f.link.state.ReceiveBuffer.isEmpty());
    const QByteArray sent = f.port.wire;

    // A late reply is shown, then everything clears 1000 ms after the release.
    f.port.receive("\x06");
    QCOMPARE(f.line(Line::Label12), QStringLiteral("  [ACK] "));
    f.clock.advanceTo(1449);
    QCOMPARE(f.line(Line::Label12), QStringLiteral("  [ACK] "));
    f.clock.advanceTo(1450);
    QVERIFY(f.line(Line::Label12).isEmpty());
    QCOMPARE(f.port.wire, sent); // nothing sent at or after the release
}

void TestPanel::secondPressIgnoredSecondReleaseTidiesAgain() {
    PanelFixture f;
    f.loadLinked();
    f.panel.arrowMouseDown(1);
    f.panel.arrowMouseDown(2); // a second mouse button: ignored
    QCOMPARE(f.link.state.RepeatCode, quint8(1));
    f.clock.advance(250);
    f.panel.arrowMouseUp();
    QCOMPARE(f.port.wire, QByteArray("C47\rC47\rC47\r"));

    f.clock.advance(600);
    f.port.receive("00\r");
    f.panel.arrowMouseUp(); // the other button's release: tidies again
    QVERIFY(f.line(Line::Label12).isEmpty());
    QVERIFY(f.link.state.ReceiveBuffer.isEmpty());
    QCOMPARE(f.timer4.dueAt(), f.clock.now() + 1000);
}

void TestPanel::tickQueuedAfterReleaseSendsNothing() {
    PanelFixture f;
    f.loadLinked();
    f.panel.arrowMouseDown(3);
    f.panel.arrowMouseUp();
    f.panel.Timer1_Timer(); // a tick that was already queued
    QCOMPARE(f.port.wire, QByteArray("C3C\r"));
}

void TestPanel::afterAHoldTheTimeOutIs500() {
    PanelFixture f;
    f.loadLinked();
    f.panel.arrowMouseDown(1);
    f.panel.arrowMouseUp();
    f.clock.advance(2000);
    f.panel.oneShotClick("CR0");
    f.clock.advance(499);
    QVERIFY(f.line(Line::Label12).isEmpty());
    f.clock.advance(1);
    QCOMPARE(f.line(Line::Label12), QStringLiteral(" X X X X "));
}

void TestPanel::ctrlH_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("shift");
    QTest::addColumn<int>("heightAfter");
    QTest::newRow("Ctrl+H") << 72 << 2 << 8100;
    QTest::newRow("H alone") << 72 << 0 << 5100;
    QTest::newRow("Ctrl+Shift+H") << 72 << 3 << 5100;
    QTest::newRow("Ctrl+Alt+H") << 72 << 6 << 5100;
    QTest::newRow("Ctrl+G") << 71 << 2 << 5100;
    QTest::newRow("Ctrl+H, higher bits ignored") << 72 << 2 + 8 << 8100;
}

void TestPanel::ctrlH() {
    QFETCH(int, key);
    QFETCH(int, shift);
    QFETCH(int, heightAfter);
    PanelFixture f;
    f.loadLinked();
    f.panel.Form_KeyDown(key, shift);
    QCOMPARE(f.view.windowHeightTwips(), heightAfter);
    if (heightAfter == 8100) {
        f.panel.Form_KeyDown(key, shift);
        QCOMPARE(f.view.windowHeightTwips(), 5100);
    }
}

void TestPanel::comClosesPortAndSavesSettings() {
    PanelFixture f;
    f.loadLinked();
    QVERIFY(f.port.portOpen());
    f.panel.Command33_Click();
    QVERIFY(!f.port.portOpen());
    QCOMPARE(f.globals.SavedPortNumber, qint16(1));
    QCOMPARE(f.globals.SavedBaudCode, quint8(96));
    QCOMPARE(f.panelView.portDialogs, 1);

    f.globals.PortNumber = 4;  // the dialog changed it meanwhile
    f.panel.Command33_Click(); // port already closed: copies taken again
    QCOMPARE(f.globals.SavedPortNumber, qint16(4));
    QCOMPARE(f.panelView.portDialogs, 2);

    f.panel.oneShotClick("C00"); // the panel stays usable; nothing is sent
    QVERIFY(f.port.wire.isEmpty());
}

void TestPanel::commandTableAndConsoleClose() {
    PanelFixture f;
    f.loadLinked();
    f.panel.Command74_Click();
    QVERIFY(!f.panelView.statusFrameVisible);
    QCOMPARE(f.timer2.interval(), 7000);
    QCOMPARE(f.timer4.interval(), 7500);
    QCOMPARE(f.panelView.consoles, 1);
    f.panel.consoleClosed();
    QVERIFY(f.panelView.statusFrameVisible);
    QCOMPARE(f.timer2.interval(), 1000);
    QCOMPARE(f.timer4.interval(), 1200);
}

void TestPanel::endEndsTheProgram() {
    PanelFixture f;
    f.loadLinked();
    f.panel.Command16_Click();
    QCOMPARE(f.panelView.ends, 1);
}

namespace {
enum class Pull { AfterSend, HoldReleasedAtOnce, HoldKeptOn, ConsoleOpen };
}

void TestPanel::lostLinkStaysShown_data() {
    QTest::addColumn<int>("pull");
    QTest::addColumn<QString>("notice"); // what the RxD line says afterwards
    const QString lost = ProjectorLink::linkLostNotice();
    QTest::newRow("right after a send") << int(Pull::AfterSend) << lost;
    QTest::newRow("during a hold, released at once") << int(Pull::HoldReleasedAtOnce) << lost;
    // The repeat goes on sending while the button is held.
    QTest::newRow("during a hold, held on")
        << int(Pull::HoldKeptOn) << ProjectorLink::notSentNotice();
    QTest::newRow("with the console open") << int(Pull::ConsoleOpen) << lost;
}

// Once the cable is pulled no timer and no release blanks the notice; only
// the operator's next send or "COM" replaces it.
void TestPanel::lostLinkStaysShown() {
    QFETCH(int, pull);
    QFETCH(QString, notice);
    PanelFixture f;
    f.loadLinked();
    QByteArray consoleText = "CR0\r";
    switch (Pull(pull)) {
    case Pull::AfterSend:
        f.panel.oneShotClick("CR0");
        f.clock.advance(100);
        f.port.hangUp();
        break;
    case Pull::HoldReleasedAtOnce:
        f.panel.arrowMouseDown(1);
        f.clock.advance(50);
        f.port.hangUp();
        f.panel.arrowMouseUp();
        break;
    case Pull::HoldKeptOn:
        f.panel.arrowMouseDown(1);
        f.clock.advance(50);
        f.port.hangUp();
        f.clock.advance(1000);
        f.panel.arrowMouseUp();
        break;
    case Pull::ConsoleOpen:
        f.panel.Command74_Click();
        f.link.send(consoleText);
        f.clock.advance(100);
        f.port.hangUp();
        break;
    }
    QCOMPARE(f.line(Line::Label12), notice);
    f.clock.advance(10000);
    QCOMPARE(f.line(Line::Label12), notice);

    f.panel.oneShotClick("C00"); // the operator tries again
    QCOMPARE(f.line(Line::Label12), ProjectorLink::notSentNotice());
    f.clock.advance(10000);
    QCOMPARE(f.line(Line::Label12), ProjectorLink::notSentNotice());

    f.panel.Command33_Click(); // "COM": the operator deals with it
    QVERIFY(f.line(Line::Label12).isEmpty());
}

QTEST_GUILESS_MAIN(TestPanel)
#include "tst_panel.moc"
