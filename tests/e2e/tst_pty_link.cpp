#include "PtyConsole.h"

#include <QPushButton>
#include <QTest>

using namespace tavo;

class TestPtyLink : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void statusReadOverARealLine();
    void bytesBeforeTheOpenAreDropped();
    void openFailsLikeAMissingPort_data();
    void openFailsLikeAMissingPort();
    void aPortInUseIsRefused();
    void hangUpEndsTheLinkOnce();
};

void TestPtyLink::statusReadOverARealLine() {
    PtyConsole c;
    QVERIFY(c.pty.isValid());
    c.form1.setQuit([] {});
    c.form1.load();
    QVERIFY(c.port.portOpen());
    QCOMPARE(c.port.deviceName(), c.pty.slavePath());

    auto* status = c.form1.controls().widget<QPushButton>(QStringLiteral("Command44"));
    QVERIFY(status);
    QTest::mouseClick(status, Qt::LeftButton);

    QByteArray sent;
    QTRY_VERIFY_WITH_TIMEOUT((sent += c.pty.readAvailable()).size() >= 4, 5000);
    QCOMPARE(sent, QByteArray("CR0\r"));

    QVERIFY(c.pty.write("00\r"));
    QTRY_COMPARE_WITH_TIMEOUT(c.label("Label25")->text(), QStringLiteral(" Power ON"), 5000);
    QCOMPARE(c.label("Label12")->text(), QStringLiteral(" 0 0  [CR] "));
    QCOMPARE(c.label("Label11")->text(), QStringLiteral(" C R 0  [CR] "));

    c.form1.close(); // stores the address, closes the port
    QVERIFY(!c.port.portOpen());
}

void TestPtyLink::bytesBeforeTheOpenAreDropped() {
    PtyConsole c;
    c.form1.setQuit([] {});
    QVERIFY(c.pty.write("stale noise"));
    c.form1.load();
    QVERIFY(c.port.portOpen());
    QVERIFY(c.pty.write("\x06"));
    QTRY_COMPARE_WITH_TIMEOUT(c.label("Label12")->text(), QStringLiteral("  [ACK] "), 5000);
}

void TestPtyLink::openFailsLikeAMissingPort_data() {
    QTest::addColumn<QString>("device");
    QTest::newRow("no such device") << QStringLiteral("/dev/tty-no-such-device");
    QTest::newRow("regular file") << QStringLiteral("/etc/hostname");
    QTest::newRow("directory") << QStringLiteral("/tmp");
    QTest::newRow("not a terminal") << QStringLiteral("/dev/null");
}

void TestPtyLink::openFailsLikeAMissingPort() {
    QFETCH(QString, device);
    QtSerialPort port([device](int) { return device; });
    port.setSettings(QStringLiteral("9600,N,8,1"));
    QVERIFY(port.setCommPort(1));
    QVERIFY(!port.setPortOpen(true));
    QVERIFY(!port.portOpen());
    QVERIFY(!port.output("C00\r"));
}

void TestPtyLink::aPortInUseIsRefused() {
    PseudoTerminal pty;
    QtSerialPort first([&](int) { return pty.slavePath(); });
    QtSerialPort second([&](int) { return pty.slavePath(); });
    QVERIFY(first.setPortOpen(true));
    QVERIFY(!second.setPortOpen(true)); // the lock file keeps it exclusive
    first.setPortOpen(false);
    QVERIFY(second.setPortOpen(true));
}

void TestPtyLink::hangUpEndsTheLinkOnce() {
    PtyConsole c;
    c.form1.setQuit([] {});
    c.form1.load();
    QVERIFY(c.port.portOpen());
    int events = 0;
    c.port.setOnComm([&] {
        ++events;
        c.form1.link().MSComm1_OnComm();
    });
    c.pty.closeSlave();
    c.pty.closeMaster();
    QTRY_VERIFY_WITH_TIMEOUT(!c.port.portOpen(), 5000);
    QCOMPARE(c.label("Label12")->text(), ProjectorLink::linkLostNotice());
    QTest::qWait(200); // any error storm would show up as more events here
    QCOMPARE(events, 1);
}

QTEST_MAIN(TestPtyLink)
#include "tst_pty_link.moc"
