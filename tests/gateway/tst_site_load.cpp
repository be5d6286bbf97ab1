// The site file as the gateway reads it: what --check and a start refuse alike.
#include "SiteLoad.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace tavo::gateway;

class TestSiteLoad : public QObject {
    Q_OBJECT

private slots:
    void refusals_data();
    void refusals();
};

void TestSiteLoad::refusals_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("pjlinkBase"); // -1: no --pjlink
    QTest::addColumn<QString>("error");  // after the file's path; empty: it loads

    const QString plain = QStringLiteral("site.ini");
    const QString loads;
    const QByteArray two("[a]\nport=/dev/ttyS0\n[b]\nport=/dev/ttyS1\n");
    QTest::newRow("an own PJLink port beside the range")
        << plain << QByteArray("[a]\nport=/dev/ttyS0\npjlink_port=6000\n[b]\nport=/dev/ttyS1\n")
        << QString() << 5000 << loads;
    QTest::newRow("inputs mapped")
        << plain << QByteArray("[a]\nport=/dev/ttyS0\npjlink_inputs=1=11,4=51\n") << QString() << -1
        << loads;
    QTest::newRow("any free PJLink port") << plain << two << QString() << 0 << loads;
    QTest::newRow("the last port of the range") << plain << two << QString() << 65534 << loads;

    QTest::newRow("one share port for a line, said twice")
        << plain
        << QByteArray("[a]\nport=/dev/ttyS0\naddress=001\nshare_port=4100\n[b]\nport=/dev/ttyS0\n"
                      "address=002\nshare_port=4100\n[c]\nport=/dev/ttyS1\nshare_port=4101\n")
        << QString() << -1 << loads;
    QTest::newRow("PJLink inputs garbage")
        << plain << QByteArray("[a]\nport=/dev/ttyS0\nroom=x\npjlink_inputs=garbage\n") << QString()
        << -1 << ":4: [a]: pjlink_inputs: ";
    QTest::newRow("one pjlink_port twice")
        << plain
        << QByteArray("[a]\nport=/dev/ttyS0\npjlink_port=5000\n[b]\nport=/dev/ttyS1\n"
                      "pjlink_port=5000\n")
        << QString() << -1 << ":6: [b]: PJLink port 5000 is already [a]'s";
    QTest::newRow("an own port inside the range")
        << plain << QByteArray("[a]\nport=/dev/ttyS0\npjlink_port=5001\n[b]\nport=/dev/ttyS1\n")
        << QString() << 5000 << ":4: [b]: PJLink port 5001 is already [a]'s";
    QTest::newRow("the range past 65535")
        << plain << two << QString() << 65535
        << ":3: [b]: PJLink port 65536 (--pjlink's first port plus 1) is beyond 65535";
    QTest::newRow("one port, two baud rates")
        << plain
        << QByteArray("[a]\nport=/dev/ttyS0\nbaud=9600\n[b]\nport=/dev/ttyS0\nbaud=19200\n")
        << QString() << -1 << ":6: [b] is on /dev/ttyS0 at a different baud rate (19200)";
    QTest::newRow("--name with a final newline")
        << plain << two << QStringLiteral("s\n") << -1 << ": the site name \"s\n\" is not letters";
    QTest::newRow("a file name with a final newline")
        << QStringLiteral("x\n.ini") << two << QString() << -1
        << ": the site name \"x\n\" is not letters";
}

void TestSiteLoad::refusals() {
    QFETCH(QString, file);
    QFETCH(QByteArray, text);
    QFETCH(QString, name);
    QFETCH(int, pjlinkBase);
    QFETCH(QString, error);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(file);
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    QCOMPARE(out.write(text), text.size());
    out.close();

    const SiteLoad load =
        loadSite(path, name, pjlinkBase < 0 ? std::nullopt : std::optional<int>(pjlinkBase));
    if (error.isEmpty()) {
        QVERIFY2(load.site, qPrintable(load.error));
        return;
    }
    QVERIFY(!load.site);
    // Control characters in the path are shown as "?", so the message stays one line.
    QString shown = path;
    shown.replace(QLatin1Char('\n'), QLatin1Char('?'));
    QVERIFY2(load.error.startsWith(shown + error), qPrintable(load.error));
}

QTEST_GUILESS_MAIN(TestSiteLoad)
#include "tst_site_load.moc"
