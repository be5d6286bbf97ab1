// PJLink ports that stay with their projector across edits of the site file.
#include "PjlinkPortMemory.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace tavo::gateway;

class TestPjlinkPortMemory : public QObject {
    Q_OBJECT

private slots:
    void assigns_data();
    void assigns();
};

void TestPjlinkPortMemory::assigns_data() {
    QTest::addColumn<QByteArray>("remembered"); // the state file; null: none yet
    QTest::addColumn<QStringList>("sections");  // in file order: NAME or NAME:PJLINK_PORT
    QTest::addColumn<QStringList>("ports");     // NAME=PORT as given, file order
    QTest::addColumn<QString>("error");         // a part of it; empty: assigned
    QTest::addColumn<int>("warnings");

    const QByteArray none;
    const QByteArray two("aud=4352\nlab=4353\n");
    QTest::newRow("first start: in file order, as before")
        << none << QStringList{"aud", "lab"} << QStringList{"aud=4352", "lab=4353"} << QString()
        << 0;
    QTest::newRow("a section inserted at the top takes a new port")
        << two << QStringList{"annex", "aud", "lab"}
        << QStringList{"annex=4354", "aud=4352", "lab=4353"} << QString() << 0;
    QTest::newRow("reordered: each keeps its own")
        << two << QStringList{"lab", "aud"} << QStringList{"lab=4353", "aud=4352"} << QString()
        << 0;
    QTest::newRow("a removed projector's port is not handed on")
        << two << QStringList{"lab", "new"} << QStringList{"lab=4353", "new=4354"} << QString()
        << 0;
    QTest::newRow("an own port is skipped by the others")
        << none << QStringList{"a:4353", "b", "c"} << QStringList{"a=4353", "b=4352", "c=4354"}
        << QString() << 0;
    QTest::newRow("an own port that moves a projector is told")
        << two << QStringList{"aud:6000", "lab"} << QStringList{"aud=6000", "lab=4353"} << QString()
        << 1;
    QTest::newRow("an own port another projector had is refused with its line")
        << two << QStringList{"lab", "annex:4352"} << QStringList{}
        << QStringLiteral("site.ini:3: [annex]: pjlink_port=4352 is the PJLink port [aud]") << 0;
    QTest::newRow("a state file with a port twice is refused with its line")
        << QByteArray("# x\naud=4352\nlab=4352\n") << QStringList{"aud"} << QStringList{}
        << QStringLiteral(".pjlink-ports:3: not NAME=PORT") << 0;
    QTest::newRow("a state file with garbage is refused")
        << QByteArray("aud 4352\n") << QStringList{"aud"} << QStringList{}
        << QStringLiteral(".pjlink-ports:1: not NAME=PORT") << 0;
}

void TestPjlinkPortMemory::assigns() {
    QFETCH(QByteArray, remembered);
    QFETCH(QStringList, sections);
    QFETCH(QStringList, ports);
    QFETCH(QString, error);
    QFETCH(int, warnings);
    QTemporaryDir dir;
    const QString path = PjlinkPortMemory::pathFor(dir.path(), QStringLiteral("campus"));
    if (!remembered.isNull()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(remembered) == remembered.size());
    }
    SiteConfig site;
    site.path = QStringLiteral("site.ini");
    for (const QString& section : sections) {
        ProjectorConfig p;
        p.name = section.section(QLatin1Char(':'), 0, 0);
        p.line = int(site.projectors.size()) * 2 + 1;
        if (section.contains(QLatin1Char(':')))
            p.pjlinkPort = section.section(QLatin1Char(':'), 1).toInt();
        site.projectors << p;
    }
    PjlinkPortMemory memory;
    QString why;
    QStringList told;
    const bool ok = memory.read(path, &why) && memory.assign(&site, 4352, &why, &told);
    QVERIFY2(ok == error.isEmpty() && why.contains(error), qPrintable(why));
    if (!ok)
        return;
    QStringList given;
    for (const ProjectorConfig& p : site.projectors)
        given << QStringLiteral("%1=%2").arg(p.name).arg(p.pjlinkPort.value_or(0));
    QCOMPARE(given, ports);
    QCOMPARE(told.size(), warnings);

    // Written and read again, the next start gives the same ports.
    QVERIFY2(memory.write(&why), qPrintable(why));
    PjlinkPortMemory again;
    QVERIFY(again.read(path, &why));
    QCOMPARE(again.ports(), memory.ports());
}

QTEST_GUILESS_MAIN(TestPjlinkPortMemory)
#include "tst_pjlink_port_memory.moc"
