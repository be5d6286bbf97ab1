#include "PseudoTerminal.h"

#include "AnyDevicePort.h"
#include "NetworkPort.h"

#include <QCoreApplication>
#include <QTemporaryFile>
#include <QTest>

using namespace tavo;

// Why a local device did not open, found out from the device itself.
class TestOpenReasons : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void failuresSayWhy_data();
    void failuresSayWhy();
};

void TestOpenReasons::failuresSayWhy_data() {
    QTest::addColumn<QString>("device"); // "pty" = a pseudo-terminal another port holds
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << QStringLiteral("/dev/tty-no-such-device")
                             << QStringLiteral("no such device");
    QTest::newRow("regular file") << QStringLiteral("/etc/hostname")
                                  << QStringLiteral("not a serial device");
    QTest::newRow("directory") << QStringLiteral("/tmp") << QStringLiteral("not a serial device");
    QTest::newRow("character device, no terminal")
        << QStringLiteral("/dev/null") << QStringLiteral("not a serial device");
    QTest::newRow("held by another program")
        << QStringLiteral("pty")
        << QStringLiteral("in use by another program (PID %1, ")
               .arg(QCoreApplication::applicationPid());
}

void TestOpenReasons::failuresSayWhy() {
    QFETCH(QString, device);
    QFETCH(QString, reason);
    PseudoTerminal pty;
    QtSerialPort holder([&](int) { return pty.slavePath(); });
    if (device == QLatin1String("pty")) {
        device = pty.slavePath();
        QVERIFY(holder.setPortOpen(true));
    }
    AnyDevicePort port([device](int) { return device; }, &makeLinkedNetworkPort);
    QVERIFY(!port.setPortOpen(true));
    QCOMPARE(port.deviceName(), device);
    QVERIFY2(port.openError().startsWith(device), qPrintable(port.openError()));
    QVERIFY2(port.openError().contains(reason), qPrintable(port.openError()));
}

QTEST_MAIN(TestOpenReasons)
#include "tst_open_reasons.moc"
