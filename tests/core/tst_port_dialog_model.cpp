#include "PanelFixture.h"

#include "settings/PortDialogModel.h"

#include <QTest>

using namespace tavo;
using namespace tavo::test;

namespace {

class FakePortDialogView : public PortDialogView {
public:
    void showBaudOption(int baudCode) override { baudOption = baudCode; }
    void showPortOption(int port) override { portOption = port; }
    void setOtherText(const QString& text) override { otherText = text; }
    void selectOtherText(int start, int length) override { selection = {start, length}; }
    void showRetryWarning(const QString& detail) override {
        ++warnings;
        details << detail;
    }
    void showSaveWarning(const QString& file, const QString& reason) override {
        saveWarnings << file + QStringLiteral(": ") + reason;
    }
    void closeAndShowMain() override { ++closed; }

    int baudOption = 0;
    int portOption = -1;
    QString otherText = QStringLiteral("0");
    QPair<int, int> selection{-1, -1};
    int warnings = 0;
    QStringList details;
    int closed = 0;
    QStringList saveWarnings;
};

struct DialogFixture : PanelFixture {
    FakePortDialogView dialogView;
    PortDialogModel dialog{port, store, globals, dialogView};

    // The operator types into the "OTHER" box: each change reaches the model.
    void typeOther(const QString& text) {
        dialogView.otherText = text;
        dialog.Text1_Change(text);
    }
};

} // namespace

class TestPortDialogModel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firstRunOffersNothingUntilAPortIsChosen();
    void okOpensAndStores();
    void otherBox_data();
    void otherBox();
    void lastChoiceWins();
    void comThenOkReopensTheSamePort();
    void comThenCancelRestores();
    void okThatFailsStoresNothing();
    void closeBox_data();
    void closeBox();
    void firstRunOkRunsTheNormalTimeOut();
    void unsavedSettingsAreToldOnce_data();
    void unsavedSettingsAreToldOnce();
};

void TestPortDialogModel::firstRunOffersNothingUntilAPortIsChosen() {
    DialogFixture f;
    f.view.onModalDialog = [&] { f.dialog.Form_Load(); };
    f.link.Form_Load();
    QCOMPARE(f.dialogView.baudOption, 192);
    QCOMPARE(f.dialogView.portOption, 0);
    QCOMPARE(f.dialogView.selection, qMakePair(0, 1));
    QCOMPARE(f.port.settings(), QStringLiteral("19200,N,8,1"));

    f.dialog.Command1_Click(); // OK with no port
    QCOMPARE(f.dialogView.warnings, 1);
    QVERIFY(f.dialogView.details.last().contains(QLatin1String("No port is chosen")));
    f.dialog.Command2_Click(); // Cancel with nothing saved
    QCOMPARE(f.dialogView.warnings, 2);
    QCOMPARE(f.dialogView.closed, 0);
    QVERIFY(!f.port.portOpen());
    QVERIFY(f.store.saves.isEmpty());
}

void TestPortDialogModel::okOpensAndStores() {
    DialogFixture f;
    f.dialog.Form_Load();
    f.dialog.portOptionClick(3);
    f.dialog.Option1_Click(); // 9600
    f.dialog.Command1_Click();
    QVERIFY(f.port.portOpen());
    QCOMPARE(f.port.openedWith, QStringList{QStringLiteral("3@9600,N,8,1")});
    QCOMPARE(f.store.values.value(QStringLiteral("ComPort")), QStringLiteral("3"));
    QCOMPARE(f.store.values.value(QStringLiteral("BaudRate")), QStringLiteral("96"));
    QCOMPARE(f.store.saves, (QStringList{QStringLiteral("ComPort"), QStringLiteral("BaudRate")}));
    QCOMPARE(f.dialogView.closed, 1);
}

void TestPortDialogModel::otherBox_data() {
    QTest::addColumn<QStringList>("typed"); // successive texts of the box
    QTest::addColumn<int>("portNumber");
    QTest::addColumn<QString>("boxAfter");
    QTest::newRow("7") << QStringList{QStringLiteral("7")} << 7 << QStringLiteral("7");
    QTest::newRow("7 then 71") << QStringList{QStringLiteral("7"), QStringLiteral("71")} << 7
                               << QStringLiteral("0");
    QTest::newRow("1 then 15") << QStringList{QStringLiteral("1"), QStringLiteral("15")} << 15
                               << QStringLiteral("15");
    QTest::newRow("16") << QStringList{QStringLiteral("16")} << 0 << QStringLiteral("0");
    QTest::newRow("255") << QStringList{QStringLiteral("255")} << 0 << QStringLiteral("0");
    QTest::newRow("256 left as typed")
        << QStringList{QStringLiteral("256")} << 0 << QStringLiteral("256");
    QTest::newRow("letters") << QStringList{QStringLiteral("x")} << 0 << QStringLiteral("x");
    QTest::newRow("sign") << QStringList{QStringLiteral("-3")} << 0 << QStringLiteral("-3");
    QTest::newRow("empty") << QStringList{QString()} << 0 << QString();
    QTest::newRow("00") << QStringList{QStringLiteral("00")} << 0 << QStringLiteral("0");
}

void TestPortDialogModel::otherBox() {
    QFETCH(QStringList, typed);
    QFETCH(int, portNumber);
    QFETCH(QString, boxAfter);
    DialogFixture f;
    f.dialog.Form_Load();
    for (const QString& text : typed)
        f.typeOther(text);
    QCOMPARE(int(f.globals.PortNumber), portNumber);
    QCOMPARE(f.dialogView.otherText, boxAfter);
}

void TestPortDialogModel::lastChoiceWins() {
    DialogFixture f;
    f.dialog.Form_Load();
    f.typeOther(QStringLiteral("7"));
    f.dialog.portOptionClick(2);
    QCOMPARE(f.dialogView.otherText, QStringLiteral("7"));
    f.dialog.Command1_Click();
    QCOMPARE(f.port.openedWith, QStringList{QStringLiteral("2@19200,N,8,1")});
}

void TestPortDialogModel::comThenOkReopensTheSamePort() {
    DialogFixture f;
    f.store.values = {{QStringLiteral("ComPort"), QStringLiteral("7")},
                      {QStringLiteral("BaudRate"), QStringLiteral("192")}};
    f.link.Form_Load();
    f.panel.Command33_Click();
    f.dialog.Form_Load();
    QCOMPARE(f.dialogView.portOption, 0);
    QCOMPARE(f.dialogView.otherText, QStringLiteral("0"));
    f.dialog.Command1_Click();
    QVERIFY(f.port.portOpen());
    QCOMPARE(f.port.openedWith.last(), QStringLiteral("7@19200,N,8,1"));
}

void TestPortDialogModel::comThenCancelRestores() {
    DialogFixture f;
    f.store.values = {{QStringLiteral("ComPort"), QStringLiteral("2")},
                      {QStringLiteral("BaudRate"), QStringLiteral("96")}};
    f.link.Form_Load();
    f.store.saves.clear();
    f.panel.Command33_Click();
    f.dialog.Form_Load();
    QCOMPARE(f.dialogView.portOption, 2);
    f.dialog.portOptionClick(4);
    f.dialog.Option2_Click();
    f.dialog.Command2_Click();
    QCOMPARE(f.port.openedWith.last(), QStringLiteral("2@9600,N,8,1"));
    QCOMPARE(f.globals.BaudCode, quint8(96));
    QCOMPARE(f.dialogView.baudOption, 96);
    QVERIFY(f.store.saves.isEmpty());
    QCOMPARE(f.dialogView.closed, 1);
}

void TestPortDialogModel::okThatFailsStoresNothing() {
    DialogFixture f;
    f.store.values = {{QStringLiteral("ComPort"), QStringLiteral("2")},
                      {QStringLiteral("BaudRate"), QStringLiteral("96")}};
    f.link.Form_Load();
    f.store.saves.clear();
    f.port.missing.insert(5);
    f.panel.Command33_Click();
    f.dialog.Form_Load();
    f.dialog.portOptionClick(5);
    f.dialog.Command1_Click();
    QCOMPARE(f.dialogView.warnings, 1);
    QCOMPARE(f.dialogView.details, QStringList{f.port.openError()}); // the port's own reason
    QVERIFY(!f.dialogView.details.last().isEmpty());
    QCOMPARE(f.dialogView.closed, 0);
    QVERIFY(!f.port.portOpen());
    QVERIFY(f.store.saves.isEmpty());
    QCOMPARE(f.store.values.value(QStringLiteral("ComPort")), QStringLiteral("2"));
}

void TestPortDialogModel::closeBox_data() {
    QTest::addColumn<bool>("fromCom");
    QTest::addColumn<bool>("reopened");
    QTest::newRow("opened by COM: previous port back") << true << true;
    QTest::newRow("opened at start-up: port stays closed") << false << false;
}

void TestPortDialogModel::closeBox() {
    QFETCH(bool, fromCom);
    QFETCH(bool, reopened);
    DialogFixture f;
    if (fromCom) {
        f.store.values = {{QStringLiteral("ComPort"), QStringLiteral("2")},
                          {QStringLiteral("BaudRate"), QStringLiteral("96")}};
        f.link.Form_Load();
        f.panel.Command33_Click();
    } else {
        f.link.Form_Load();
    }
    f.store.saves.clear();
    f.dialog.Form_Load();
    f.dialog.portOptionClick(5);
    f.dialog.closeBox();
    QCOMPARE(f.dialogView.closed, 1);
    QCOMPARE(f.dialogView.warnings, 0);
    QCOMPARE(f.port.portOpen(), reopened);
    if (reopened)
        QCOMPARE(f.port.openedWith.last(), QStringLiteral("2@9600,N,8,1"));
    QVERIFY(f.store.saves.isEmpty());
}

void TestPortDialogModel::firstRunOkRunsTheNormalTimeOut() {
    DialogFixture f;
    f.view.onModalDialog = [&] {
        f.dialog.Form_Load();
        f.dialog.portOptionClick(2);
        f.dialog.Command1_Click();
    };
    f.link.Form_Load(); // nothing stored: the dialog, then OK
    QVERIFY(f.port.portOpen());

    f.panel.oneShotClick("CR0"); // no reply comes
    f.clock.advance(999);
    QVERIFY(f.line(Line::Label12).isEmpty());
    f.clock.advance(1);
    QCOMPARE(f.line(Line::Label12), QStringLiteral(" X X X X "));
    f.clock.advance(200);
    QVERIFY(f.line(Line::Label12).isEmpty());
}

void TestPortDialogModel::unsavedSettingsAreToldOnce_data() {
    QTest::addColumn<bool>("viaOk"); // the dialog's OK, or closing the main window
    QTest::newRow("port dialog OK") << true;
    QTest::newRow("END or the close box") << false;
}

// The store refuses every save: the operator hears it once, and the dialog
// closes with the port open, or the main window closes the port, as usual.
void TestPortDialogModel::unsavedSettingsAreToldOnce() {
    QFETCH(bool, viaOk);
    DialogFixture f;
    f.store.failWith = QStringLiteral("Permission denied");
    const QStringList told{QStringLiteral("/fake/TAVO.ini: Permission denied")};
    if (viaOk) {
        f.dialog.Form_Load();
        f.dialog.portOptionClick(4);
        f.dialog.Command1_Click();
        QCOMPARE(f.dialogView.saveWarnings, told);
        QCOMPARE(f.dialogView.closed, 1);
        QVERIFY(f.port.portOpen());
        QCOMPARE(f.store.saves,
                 (QStringList{QStringLiteral("ComPort"), QStringLiteral("BaudRate")}));
        QVERIFY(f.view.saveWarnings.isEmpty());
    } else {
        f.loadLinked();
        f.link.Form_QueryUnload();
        QCOMPARE(f.view.saveWarnings, told);
        QVERIFY(!f.port.portOpen());
        QVERIFY(f.dialogView.saveWarnings.isEmpty());
    }
    QCOMPARE(f.dialogView.warnings, 0); // "Retry Comport" is for the port only
}

QTEST_GUILESS_MAIN(TestPortDialogModel)
#include "tst_port_dialog_model.moc"
