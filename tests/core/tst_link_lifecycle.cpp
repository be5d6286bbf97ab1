#include "LinkFixture.h"

#include <QTest>

using namespace tavo;
using namespace tavo::test;

namespace {
const QString kAbsent = QStringLiteral("<absent>");
}

class TestLinkLifecycle : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void load_data();
    void load();
    void failedOpenLeavesDesignState();
    void close_data();
    void close();
};

void TestLinkLifecycle::load_data() {
    QTest::addColumn<QString>("comPort");
    QTest::addColumn<QString>("baudRate");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("portNumber"); // 0: the dialog opens instead
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("baudCode");
    QTest::addColumn<int>("option");
    QTest::addColumn<QByteArray>("prefix");

    const QString a = kAbsent;
    const QString s96 = QStringLiteral("9600,N,8,1");
    const QString s192 = QStringLiteral("19200,N,8,1");
    // clang-format off
    QTest::newRow("first run")        << a << a << a                  << 0 << QString() << 0 << 1 << QByteArray();
    QTest::newRow("3 / 96 / A002")    << "3" << "96" << "A002"        << 3 << s96 << 96 << 4 << QByteArray("A002");
    QTest::newRow("baud 192")         << "3" << "192" << "A001"       << 3 << s192 << 192 << 3 << QByteArray("A001");
    QTest::newRow("baud empty")       << "3" << "" << "AFFF"          << 3 << s192 << 192 << 2 << QByteArray("AFFF");
    QTest::newRow("baud DATAb")       << "3" << a << "A003"           << 3 << s192 << 192 << 5 << QByteArray("A003");
    QTest::newRow("baud 300")         << "3" << "300" << "A004"       << 3 << s192 << 192 << 6 << QByteArray("A004");
    QTest::newRow("baud 95.5 to 96")  << "3" << "95.5" << ""          << 3 << s96 << 96 << 1 << QByteArray();
    QTest::newRow("baud 96.5 to 96")  << "3" << "96.5" << ""          << 3 << s96 << 96 << 1 << QByteArray();
    QTest::newRow("baud 352 wraps no")<< "3" << "352" << ""           << 3 << s192 << 192 << 1 << QByteArray();
    QTest::newRow("port 2.5")         << "2.5" << "96" << ""          << 2 << s96 << 96 << 1 << QByteArray();
    QTest::newRow("port 3.5")         << "3.5" << "96" << ""          << 4 << s96 << 96 << 1 << QByteArray();
    QTest::newRow("port 15")          << "15" << "96" << ""           << 15 << s96 << 96 << 1 << QByteArray();
    QTest::newRow("port 16")          << "16" << "96" << ""           << 0 << QString() << 0 << 1 << QByteArray();
    QTest::newRow("port 0")           << "0" << "96" << ""            << 0 << QString() << 0 << 1 << QByteArray();
    QTest::newRow("port -1")          << "-1" << "96" << ""           << 0 << QString() << 0 << 1 << QByteArray();
    QTest::newRow("port 65537")       << "65537" << "96" << ""        << 0 << QString() << 0 << 1 << QByteArray();
    QTest::newRow("port text")        << "COM3" << "96" << ""         << 0 << QString() << 0 << 1 << QByteArray();
    QTest::newRow("port 7 then text") << " 7 (USB)" << "96" << ""     << 7 << s96 << 96 << 1 << QByteArray();
    QTest::newRow("port 1e1")         << "1e1" << "96" << ""          << 10 << s96 << 96 << 1 << QByteArray();
    QTest::newRow("address a001")     << "3" << "96" << "a001"        << 3 << s96 << 96 << 1 << QByteArray();
    QTest::newRow("address DATAD")    << "3" << "96" << a             << 3 << s96 << 96 << 1 << QByteArray();
    QTest::newRow("address A001 ")    << "3" << "96" << "A001 "       << 3 << s96 << 96 << 1 << QByteArray();
    // clang-format on
}

void TestLinkLifecycle::load() {
    QFETCH(QString, comPort);
    QFETCH(QString, baudRate);
    QFETCH(QString, address);
    QFETCH(int, portNumber);
    QFETCH(QString, settings);
    QFETCH(int, baudCode);
    QFETCH(int, option);
    QFETCH(QByteArray, prefix);

    LinkFixture f;
    if (comPort != kAbsent)
        f.store.values.insert(QStringLiteral("ComPort"), comPort);
    if (baudRate != kAbsent)
        f.store.values.insert(QStringLiteral("BaudRate"), baudRate);
    if (address != kAbsent)
        f.store.values.insert(QStringLiteral("ADRESS"), address);

    f.link.Form_Load();

    QCOMPARE(f.view.windowHeightTwips(), 5100);
    QCOMPARE(f.view.addressOption, option);
    QCOMPARE(f.link.state().AddressPrefix, prefix);
    if (portNumber == 0) {
        QCOMPARE(f.view.modalDialogs, 1);
        QCOMPARE(f.store.reads, QStringList{QStringLiteral("ComPort")});
        QVERIFY(!f.port.portOpen());
        QCOMPARE(f.timer2.interval(), 10000);
        QCOMPARE(f.timer4.interval(), 10500);
        return;
    }
    QCOMPARE(f.view.modalDialogs, 0);
    QCOMPARE(f.store.reads, (QStringList{QStringLiteral("ComPort"), QStringLiteral("BaudRate"),
                                         QStringLiteral("ADRESS")}));
    QCOMPARE(f.globals.PortNumber, portNumber);
    QCOMPARE(f.globals.BaudCode, baudCode);
    QVERIFY(f.port.portOpen());
    QCOMPARE(f.port.openedWith, QStringList{QStringLiteral("%1@%2").arg(portNumber).arg(settings)});
    QCOMPARE(f.timer2.interval(), 1000);
    QCOMPARE(f.timer4.interval(), 1200);
    QVERIFY(!f.timer2.isEnabled());
    // 1920 × 1080 px screen, window 10275 × 5100 twips: centred, 1350 above the middle.
    QCOMPARE(f.view.position, QPoint((28800 - 10275) / 2, (16200 - 5100) / 2 - 1350));
    QCOMPARE(f.link.state().RepeatCode, quint8(0));
    QCOMPARE(f.link.state().AwaitingReply, quint8(0));
    QVERIFY(f.link.state().ReceiveBuffer.isEmpty());
}

void TestLinkLifecycle::failedOpenLeavesDesignState() {
    LinkFixture f;
    f.port.missing.insert(4);
    f.store.values = {{QStringLiteral("ComPort"), QStringLiteral("4")},
                      {QStringLiteral("BaudRate"), QStringLiteral("96")},
                      {QStringLiteral("ADRESS"), QStringLiteral("A003")}};
    bool portClosedDuringDialog = false;
    f.view.onModalDialog = [&] { portClosedDuringDialog = !f.port.portOpen(); };

    f.link.Form_Load();

    QCOMPARE(f.view.modalDialogs, 1);
    QVERIFY(portClosedDuringDialog);
    QCOMPARE(f.link.state().AddressPrefix, QByteArray("A003")); // read before the open
    QCOMPARE(f.timer2.interval(), 10000);
    QCOMPARE(f.timer4.interval(), 10500);
    QCOMPARE(f.view.position, QPoint(2040, 630));
}

void TestLinkLifecycle::close_data() {
    QTest::addColumn<int>("option");
    QTest::addColumn<bool>("linked");
    QTest::addColumn<QString>("stored");
    QTest::newRow("001 selected") << 3 << true << QStringLiteral("A001");
    QTest::newRow("ALL selected") << 2 << true << QStringLiteral("AFFF");
    QTest::newRow("SINGLE") << 1 << true << QString();
    QTest::newRow("port already closed") << 6 << false << QStringLiteral("A004");
    QTest::newRow("unlinked start-up") << 0 << false << QString();
}

void TestLinkLifecycle::close() {
    QFETCH(int, option);
    QFETCH(bool, linked);
    QFETCH(QString, stored);

    LinkFixture f;
    if (linked)
        f.loadLinked();
    else
        f.link.Form_Load(); // nothing stored: unlinked start-up
    if (option > 0)
        f.link.selectAddress(option);

    f.link.Form_QueryUnload();

    QVERIFY(f.store.values.contains(QStringLiteral("ADRESS")));
    QCOMPARE(f.store.values.value(QStringLiteral("ADRESS")), stored);
    QCOMPARE(f.store.saves, QStringList{QStringLiteral("ADRESS")});
    QVERIFY(!f.port.portOpen());
}

QTEST_GUILESS_MAIN(TestLinkLifecycle)
#include "tst_link_lifecycle.moc"
