#include "EventLoopPasses.h"
#include "PseudoTerminal.h"
#include "Ser2netServer.h"

#include "AnyDevicePort.h"
#include "Form1Window.h"
#include "Globals.h"
#include "IniSettingsStore.h"
#include "NetworkPort.h"
#include "PortDialog.h"
#include "PortMap.h"
#include "QtTimer.h"
#include "Transcript.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <termios.h>

using namespace tavo;
using tavo::test::runEventLoopPasses;

namespace {

// The real main window on the program's port, with COM1 naming a network
// port of a real ser2net that serves a pseudo-terminal (the projector).
struct NetConsole {
    NetConsole(bool rfc2217, const QString& baud) {
        QString error;
        started = Ser2netServer::executable().isEmpty() ? false : server.start(&error);
        const QString path = IniSettingsStore::defaultPath();
        QFile::remove(path);
        QDir().mkpath(QFileInfo(path).path());
        QSettings ini(path, QSettings::IniFormat);
        ini.setValue(QStringLiteral("StartUP/ComPort"), QStringLiteral("1"));
        ini.setValue(QStringLiteral("StartUP/BaudRate"), baud);
        ini.setValue(QStringLiteral("Ports/COM1"), rfc2217 ? server.rfc2217Url() : server.rawUrl());
        ini.sync();
        form1.setQuit([] {});
    }
    QLabel* label(const char* name) const {
        return form1.controls().widget<QLabel>(QLatin1String(name));
    }
    void click(const char* name) {
        QTest::mouseClick(form1.controls().widget<QPushButton>(QLatin1String(name)),
                          Qt::LeftButton);
    }
    speed_t farSpeed() const {
        termios attributes{};
        ::tcgetattr(pty.slaveFd(), &attributes);
        return ::cfgetospeed(&attributes);
    }

    PseudoTerminal pty;
    Ser2netServer server{pty.slavePath()};
    bool started = false;
    Globals globals;
    IniSettingsStore store;
    AnyDevicePort port{[this](int n) { return deviceForPort(n, store.path()); },
                       &makeLinkedNetworkPort};
    QtTimer timer1{200};
    QtTimer timer2{10000};
    QtTimer timer4{10500};
    Form1Window form1{Form1Parts{port, timer1, timer2, timer4, store, globals}};
};

} // namespace

class TestSer2net : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void commandsAndRepliesCrossTheServer_data();
    void commandsAndRepliesCrossTheServer();
    void serverGoneIsALostLinkAndOkReconnects_data();
    void serverGoneIsALostLinkAndOkReconnects();
};

void TestSer2net::initTestCase() {
    if (Ser2netServer::executable().isEmpty())
        QSKIP("ser2net is not installed (./setup.sh installs it)");
}

void TestSer2net::commandsAndRepliesCrossTheServer_data() {
    QTest::addColumn<bool>("rfc2217");
    QTest::addColumn<QString>("baud");
    QTest::addColumn<int>("speed");
    QTest::newRow("raw tcp") << false << "96" << 0;
    QTest::newRow("rfc2217 at 9600") << true << "96" << int(B9600);
    QTest::newRow("rfc2217 at 19200") << true << "192" << int(B19200);
}

void TestSer2net::commandsAndRepliesCrossTheServer() {
    QFETCH(bool, rfc2217);
    QFETCH(QString, baud);
    QFETCH(int, speed);
    NetConsole c(rfc2217, baud);
    QVERIFY(c.started);
    c.form1.load();
    QVERIFY2(c.port.portOpen(), qPrintable(c.port.openError()));
    if (speed) // ser2net itself set 38400: only the console's request makes this
        QTRY_COMPARE_WITH_TIMEOUT(int(c.farSpeed()), speed, 5000);

    c.click("Command44"); // STATUS
    QByteArray sent;
    QVERIFY(c.pty.readUntil('\r', 5000, &sent));
    QCOMPARE(sent, QByteArray("CR0\r"));
    QVERIFY(c.pty.write("00\r"));
    QTRY_COMPARE_WITH_TIMEOUT(c.label("Label25")->text(), QStringLiteral(" Power ON"), 5000);
    QCOMPARE(c.label("Label12")->text(), QStringLiteral(" 0 0  [CR] "));

    // 0xFF, the telnet escape byte, crosses as one byte.
    c.click("Command44");
    sent.clear();
    QVERIFY(c.pty.readUntil('\r', 5000, &sent));
    const QByteArray reply("8\xFF\xFF"
                           "0\r",
                           5);
    QVERIFY(c.pty.write(reply));
    QTRY_COMPARE_WITH_TIMEOUT(c.label("Label12")->text(), renderTranscript(reply), 5000);
    QVERIFY(c.pty.readAvailable().isEmpty()); // nothing but the commands reached the line
    c.form1.close();
}

void TestSer2net::serverGoneIsALostLinkAndOkReconnects_data() {
    QTest::addColumn<bool>("rfc2217");
    QTest::newRow("raw tcp") << false;
    QTest::newRow("rfc2217") << true;
}

void TestSer2net::serverGoneIsALostLinkAndOkReconnects() {
    QFETCH(bool, rfc2217);
    NetConsole c(rfc2217, QStringLiteral("192"));
    QVERIFY(c.started);
    c.form1.load();
    QVERIFY2(c.port.portOpen(), qPrintable(c.port.openError()));
    int lost = 0;
    c.port.setOnComm([&] {
        if (c.port.commEvent() == SerialPort::EvLinkLost)
            ++lost;
        c.form1.link().MSComm1_OnComm();
    });

    c.server.kill();
    QTRY_VERIFY_WITH_TIMEOUT(!c.port.portOpen(), 5000);
    QCOMPARE(c.label("Label12")->text(), ProjectorLink::linkLostNotice());
    // A storm of errors would show as more events (the CPU it costs is a benchmark's figure).
    runEventLoopPasses(50);
    QCOMPARE(lost, 1);

    // While the server is down, OK fails with its reason and stays.
    QString warned;
    QPointer<PortDialog> dialog = new PortDialog(
        c.port, c.store, c.globals, [&](int n) { return deviceForPort(n, c.store.path()); }, [] {});
    dialog->setWarningPresenter([&](QWidget*) { warned = c.port.openError(); });
    QTest::mouseClick(dialog->controls().widget<QPushButton>(QStringLiteral("Command1")),
                      Qt::LeftButton);
    QVERIFY2(warned.contains(QLatin1String("connection refused")), qPrintable(warned));
    QVERIFY(!c.port.portOpen());

    QString error;
    QVERIFY2(c.server.start(&error), qPrintable(error));
    QTest::mouseClick(dialog->controls().widget<QPushButton>(QStringLiteral("Command1")),
                      Qt::LeftButton);
    QVERIFY2(c.port.portOpen(), qPrintable(c.port.openError()));
    c.click("Command44");
    QByteArray sent;
    QVERIFY(c.pty.readUntil('\r', 5000, &sent));
    QCOMPARE(sent, QByteArray("CR0\r"));
    QCOMPARE(lost, 1);
    c.form1.close();
    delete dialog.data(); // its OK closed it; the deferred delete may not have run yet
}

QTEST_MAIN(TestSer2net)
#include "tst_ser2net.moc"
