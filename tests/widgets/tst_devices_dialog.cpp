#include "FakeSerialPort.h"
#include "MemorySettingsStore.h"

#include "DevicesDialog.h"
#include "Globals.h"
#include "PortDialog.h"
#include "PortMap.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace tavo;

namespace {

const QByteArray kOriginal = "; the operator's own note\n"
                             "[StartUP]\n"
                             "ComPort=3\n"
                             "BaudRate=96\n"
                             "\n"
                             "[Ports]\n"
                             "COM2=/dev/ttyS1\n";
const QString kById =
    QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestDevicesDialog : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void assignmentsChangeOnlyTheirLines();
    void listsRunningGatewaysShares_data();
    void listsRunningGatewaysShares();
    void portDialogReachesItBesideTheDesignedControls();
};

void TestDevicesDialog::assignmentsChangeOnlyTheirLines() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("TAVO.ini"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(kOriginal);
    file.close();

    const PresentSerialPort adapter{kById, QStringLiteral("/dev/ttyUSB0"),
                                    QStringLiteral("FT232R USB UART"), QStringLiteral("A50285BI")};
    GatewayShares gateway{QStringLiteral("campus"), 1, QStringLiteral("127.0.0.1"), {}};
    gateway.lines << GatewayShares::Line{QStringLiteral("/dev/ttyUSB1"), 4001};
    DevicesDialog dialog(
        path, [&](int port) { return deviceForPort(port, path); },
        [&] { return QList<PresentSerialPort>{adapter} + sharedLines({gateway}); });
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    // What each COM number opens now, and where that comes from.
    QCOMPARE(dialog.portTable()->item(1, 0)->text(), QStringLiteral("/dev/ttyS1"));
    QCOMPARE(dialog.portTable()->item(1, 1)->text(), QStringLiteral("[Ports]"));
    QCOMPARE(dialog.portTable()->item(3, 0)->text(), QStringLiteral("/dev/ttyUSB3"));
    QCOMPARE(dialog.portTable()->item(3, 1)->text(), QStringLiteral("default"));
    // The adapter under its stable name, with its real device, description and serial number.
    QListWidgetItem* listed = dialog.presentList()->item(0);
    for (const QString& part :
         {kById, adapter.systemLocation, adapter.description, adapter.serialNumber})
        QVERIFY2(listed->text().contains(part), qPrintable(listed->text()));

    auto* assign = dialog.findChild<QPushButton*>(QStringLiteral("assign"));
    QVERIFY(assign);
    // COM3 := the adapter picked from the list.
    dialog.selectPort(3);
    const QRect itemRect = dialog.presentList()->visualItemRect(listed);
    QTest::mouseClick(dialog.presentList()->viewport(), Qt::LeftButton, {}, itemRect.center());
    QCOMPARE(dialog.deviceField()->text(), kById);
    QTest::mouseClick(assign, Qt::LeftButton);
    // COM9 := a gateway's share picked from the list.
    dialog.selectPort(9);
    QListWidgetItem* share = dialog.presentList()->item(1);
    QVERIFY2(share->text().contains(QLatin1String("gateway campus shares /dev/ttyUSB1")),
             qPrintable(share->text()));
    QTest::mouseClick(dialog.presentList()->viewport(), Qt::LeftButton, {},
                      dialog.presentList()->visualItemRect(share).center());
    QTest::mouseClick(assign, Qt::LeftButton);
    QCOMPARE(dialog.portTable()->item(8, 0)->text(), QStringLiteral("tcp://127.0.0.1:4001"));
    // COM8 := a malformed network name: refused with the reason, nothing written.
    dialog.selectPort(8);
    QTest::keyClicks(dialog.deviceField(), QStringLiteral("tcp://serial-box"));
    QTest::mouseClick(assign, Qt::LeftButton);
    QVERIFY2(dialog.statusText().contains(QLatin1String("no port number")),
             qPrintable(dialog.statusText()));
    // COM7 := a network port, typed.
    dialog.selectPort(7);
    dialog.deviceField()->clear();
    QTest::keyClicks(dialog.deviceField(), QStringLiteral("rfc2217://127.0.0.1:4002"));
    QTest::mouseClick(assign, Qt::LeftButton);
    QCOMPARE(dialog.portTable()->item(6, 0)->text(), QStringLiteral("rfc2217://127.0.0.1:4002"));

    // The file: the two new lines in [Ports], every other byte as it was.
    const QList<QByteArray> lines = readAll(path).split('\n');
    QList<QByteArray> others;
    QStringList added;
    bool inPorts = false;
    for (const QByteArray& line : lines) {
        inPorts = line.startsWith('[') ? line == "[Ports]" : inPorts;
        if (line.startsWith("COM3=") || line.startsWith("COM7=") || line.startsWith("COM9=")) {
            QVERIFY(inPorts);
            added << QString::fromUtf8(line.left(4));
        } else {
            others << line;
        }
    }
    added.sort();
    QCOMPARE(added, (QStringList{"COM3", "COM7", "COM9"}));
    QCOMPARE(others.join('\n'), kOriginal);
    const QSettings ini(path, QSettings::IniFormat);
    QCOMPARE(ini.value(QStringLiteral("Ports/COM3")).toString(), kById);
    QCOMPARE(deviceForPort(7, path), QStringLiteral("rfc2217://127.0.0.1:4002"));

    // "Default" takes COM3's line away again, and only that line.
    dialog.selectPort(3);
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("default")), Qt::LeftButton);
    QCOMPARE(deviceForPort(3, path), QStringLiteral("/dev/ttyUSB2"));
    QVERIFY(!readAll(path).contains("COM3="));
    QVERIFY(readAll(path).contains("COM7="));
}

// The runtime files of gateways on this computer, as another program may have left them: only a
// running gateway's well-formed lines are listed, and nothing blocks or reads without bound.
void TestDevicesDialog::listsRunningGatewaysShares_data() {
    QTest::addColumn<QString>("name");       // under the runtime directory
    QTest::addColumn<QByteArray>("content"); // PID: this process; null: a FIFO
    QTest::addColumn<QStringList>("listed"); // URL|description

    const QByteArray head = "site=campus\npid=PID\naddress=127.0.0.1\n";
    QTest::newRow("a running gateway's lines")
        << "campus.shares" << head + "line=4001 /dev/ttyUSB0\nline=4002 /dev/by-id/a b\n"
        << QStringList{"tcp://127.0.0.1:4001|gateway campus shares /dev/ttyUSB0",
                       "tcp://127.0.0.1:4002|gateway campus shares /dev/by-id/a b"};
    QTest::newRow("an instance's own folder, shared on every address")
        << "hall/hall.shares"
        << QByteArray("site=hall\npid=PID\naddress=::\nline=4001 /dev/ttyS0\n")
        << QStringList{"tcp://[::1]:4001|gateway hall shares /dev/ttyS0"};
    QTest::newRow("garbled lines passed over, good ones kept")
        << "campus.shares"
        << head + "line=x /dev/a\nline=70000 /dev/b\nline=4003\nline=4004 /dev/\x1b[2J\n"
                  "nonsense\nline=4005 /dev/ok\n"
        << QStringList{"tcp://127.0.0.1:4005|gateway campus shares /dev/ok"};
    QTest::newRow("a gateway that has stopped")
        << "campus.shares"
        << QByteArray("site=campus\npid=2147483647\naddress=127.0.0.1\nline=4001 /dev/a\n")
        << QStringList{};
    QTest::newRow("a site that is no name")
        << "x.shares" << QByteArray("site=../x\npid=PID\naddress=127.0.0.1\nline=4001 /dev/a\n")
        << QStringList{};
    QTest::newRow("an address that is no IP address")
        << "campus.shares"
        << QByteArray("site=campus\npid=PID\naddress=evil/x@127.0.0.1\nline=4001 /dev/a\n")
        << QStringList{};
    QTest::newRow("no address") << "campus.shares"
                                << QByteArray("site=campus\npid=PID\nline=4001 /dev/a\n")
                                << QStringList{};
    QTest::newRow("larger than a gateway writes")
        << "campus.shares" << head + "line=4001 /dev/a\n" + QByteArray(70 * 1024, '#')
        << QStringList{};
    QTest::newRow("a FIFO") << "campus.shares" << QByteArray() << QStringList{};
}

void TestDevicesDialog::listsRunningGatewaysShares() {
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, listed);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    if (content.isNull()) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content.replace("PID", QByteArray::number(QCoreApplication::applicationPid())));
    }
    QStringList seen;
    for (const PresentSerialPort& port : sharedLines(runningGatewayShares({dir.path()}))) {
        QCOMPARE(port.systemLocation, port.device);
        seen << port.device + QLatin1Char('|') + port.description;
    }
    QCOMPARE(seen, listed);
}

// The port dialog's "Devices…" button sits in free space of the designed
// window and opens the devices dialog.
void TestDevicesDialog::portDialogReachesItBesideTheDesignedControls() {
    test::FakeSerialPort port;
    test::MemorySettingsStore store;
    Globals globals;
    auto* dialog = new PortDialog(
        port, store, globals, [](int n) { return QStringLiteral("/dev/ttyUSB%1").arg(n - 1); },
        [] {});
    dialog->setWarningPresenter([](QWidget*) {});
    auto* button = dialog->findChild<QPushButton*>(QStringLiteral("DevicesButton"));
    QVERIFY(button);
    QVERIFY(!button->isEnabled()); // nowhere to go yet
    int opened = 0;
    dialog->setDevicesOpener([&](QWidget* parent) {
        QCOMPARE(parent, dialog);
        ++opened;
    });
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QVERIFY(button->isVisible());
    QVERIFY(!button->toolTip().isEmpty());
    QVERIFY(dialog->rect().contains(button->geometry()));
    for (QWidget* designed :
         dialog->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (designed != button && designed->isWidgetType() && designed->isVisible())
            QVERIFY2(!designed->geometry().intersects(button->geometry()),
                     qPrintable(designed->objectName()));
    }
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(opened, 1);
    delete dialog;
}

QTEST_MAIN(TestDevicesDialog)
#include "tst_devices_dialog.moc"
