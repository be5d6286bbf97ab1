#include "FakeSerialPort.h"
#include "MemorySettingsStore.h"

#include "link/Globals.h"
#include "settings/PortDialog.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace tavo;
using namespace tavo::test;

namespace {

// The real dialog over the fake port; the warning box is counted, not shown.
struct DialogWindowFixture {
    FakeSerialPort port;
    MemorySettingsStore store;
    Globals globals;
    QPointer<PortDialog> dialog;
    int warnings = 0;
    int mainShown = 0;

    void open() {
        dialog = new PortDialog(
            port, store, globals, [](int n) { return QStringLiteral("/dev/ttyUSB%1").arg(n - 1); },
            [this] { ++mainShown; });
        dialog->setWarningPresenter([this](QWidget*) { ++warnings; });
        dialog->show();
        dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
    }
    ~DialogWindowFixture() { delete dialog.data(); }

    template <class T = QRadioButton> T* control(const char* name) const {
        T* found = dialog->controls().widget<T>(QLatin1String(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
    QLineEdit* other() const { return control<QLineEdit>("Text1"); }
    void click(const char* name) {
        QTest::mouseClick(control<QAbstractButton>(name), Qt::LeftButton);
    }
};

} // namespace

class TestPortDialogWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firstRun();
    void typingInOtherChoosesAPort();
    void okOpensStoresAndCloses();
    void cancelFromComRestores();
    void closeBoxClosesWithoutWarning();
    void retryBoxKeepsItsDesignAndSaysWhy();
    void portChoicesNameTheirDevices();
};

void TestPortDialogWindow::firstRun() {
    DialogWindowFixture f;
    f.open();
    QVERIFY(f.control("Option2")->isChecked()); // 19200
    for (const char* port : {"Option3", "Option4", "Option5", "Option6", "Option7"})
        QVERIFY(!f.control(port)->isChecked());
    QCOMPARE(f.other()->text(), QStringLiteral("0"));
    QVERIFY(f.other()->hasFocus());
    QCOMPARE(f.other()->selectedText(), QStringLiteral("0"));

    f.click("Command1"); // OK without a port
    QCOMPARE(f.warnings, 1);
    f.click("Command2"); // Cancel with nothing saved
    QCOMPARE(f.warnings, 2);
    QVERIFY(f.dialog && f.dialog->isVisible());
    QVERIFY(f.store.saves.isEmpty());
}

void TestPortDialogWindow::typingInOtherChoosesAPort() {
    DialogWindowFixture f;
    f.open();
    QTest::keyClicks(f.other(), QStringLiteral("7"));
    QCOMPARE(f.other()->text(), QStringLiteral("7"));
    QCOMPARE(f.globals.PortNumber, qint16(7));
    QTest::keyClicks(f.other(), QStringLiteral("1"));
    QCOMPARE(f.other()->text(), QStringLiteral("0"));
    QCOMPARE(f.globals.PortNumber, qint16(7));
    QCOMPARE(f.other()->toolTip(), QStringLiteral("Another port, 1 to 15"));

    f.other()->selectAll();
    QTest::keyClicks(f.other(), QStringLiteral("12"));
    QCOMPARE(f.globals.PortNumber, qint16(12));
    QCOMPARE(f.other()->toolTip(), QStringLiteral("COM12 is /dev/ttyUSB11"));
}

void TestPortDialogWindow::okOpensStoresAndCloses() {
    DialogWindowFixture f;
    f.open();
    f.click("Option5"); // COM3
    f.click("Option1"); // 9600
    f.click("Command1");
    QVERIFY(f.port.portOpen());
    QCOMPARE(f.port.openedWith, QStringList{QStringLiteral("3@9600,N,8,1")});
    QCOMPARE(f.store.values.value(QStringLiteral("ComPort")), QStringLiteral("3"));
    QCOMPARE(f.store.values.value(QStringLiteral("BaudRate")), QStringLiteral("96"));
    QCOMPARE(f.mainShown, 1);
    QTRY_VERIFY(!f.dialog); // closed and deleted
}

void TestPortDialogWindow::cancelFromComRestores() {
    DialogWindowFixture f;
    f.globals = {QByteArray(), 2, 96, 2, 96}; // as "COM" leaves them with port 2 at 9600
    f.open();
    QVERIFY(f.control("Option4")->isChecked()); // COM2
    QVERIFY(f.control("Option1")->isChecked()); // 9600
    f.click("Option6");                         // COM4
    f.click("Option2");                         // 19200
    f.click("Command2");
    QCOMPARE(f.port.openedWith, QStringList{QStringLiteral("2@9600,N,8,1")});
    QVERIFY(f.store.saves.isEmpty());
    QCOMPARE(f.warnings, 0);
    QTRY_VERIFY(!f.dialog);
}

void TestPortDialogWindow::closeBoxClosesWithoutWarning() {
    DialogWindowFixture f;
    f.open();
    QVERIFY(f.dialog->close());
    QCOMPARE(f.warnings, 0);
    QCOMPARE(f.mainShown, 1);
    QVERIFY(!f.port.portOpen());
    QTRY_VERIFY(!f.dialog);
}

void TestPortDialogWindow::portChoicesNameTheirDevices() {
    DialogWindowFixture f;
    f.open();
    QCOMPARE(f.control("Option3")->toolTip(), QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(f.control("Option7")->toolTip(), QStringLiteral("/dev/ttyUSB4"));
    QCOMPARE(f.dialog->windowTitle(), QStringLiteral("  COM PORT"));
}

// The real box: designed text, title, icon and single OK, and the reason under
// it exactly as given (a device name is never read as markup).
void TestPortDialogWindow::retryBoxKeepsItsDesignAndSaysWhy() {
    const QString detail = QStringLiteral("<b>/dev/ttyUSB9</b>: no such device.");
    bool seen = false;
    QTimer::singleShot(0, Qt::PreciseTimer, qApp, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return; // the box never came: `seen` stays false
        seen = box->text() == QLatin1String("Retry Comport") &&
               box->windowTitle() == QLatin1String("Error") &&
               box->icon() == QMessageBox::Warning && box->standardButtons() == QMessageBox::Ok &&
               box->informativeText() == detail;
        const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
        seen = seen && label && label->textFormat() == Qt::PlainText;
        box->button(QMessageBox::Ok)->click();
    });
    PortDialog::presentRetryWarning(nullptr, detail);
    QVERIFY(seen);
}

QTEST_MAIN(TestPortDialogWindow)
#include "tst_port_dialog_window.moc"
