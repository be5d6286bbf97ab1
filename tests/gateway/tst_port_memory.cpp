// PJLink ports that stay with their projector, and share ports that stay with their line, across
// edits of the site file.
#include "PortMemory.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace tavo::gateway;

Q_DECLARE_METATYPE(PortMemory::Kind)

class TestPortMemory : public QObject {
    Q_OBJECT

private slots:
    void assigns_data();
    void assigns();
};

void TestPortMemory::assigns_data() {
    QTest::addColumn<PortMemory::Kind>("kind");
    QTest::addColumn<QByteArray>("remembered"); // the state file; null: none yet
    // In file order: NAME[:OWN_PORT][@LINE]; a section without a line has one of its own.
    QTest::addColumn<QStringList>("sections");
    QTest::addColumn<QStringList>("ports"); // NAME=PORT as given, file order
    QTest::addColumn<QString>("error");     // a part of it; empty: assigned
    QTest::addColumn<int>("warnings");

    const QByteArray none;
    const QByteArray two("aud=4352\nlab=4353\n");
    const auto pjlink = PortMemory::Kind::Pjlink;
    const auto share = PortMemory::Kind::Share;
    const QByteArray lines("x=4001\ny=4002\n");
    QTest::newRow("first start: in file order, as before")
        << pjlink << none << QStringList{"aud", "lab"} << QStringList{"aud=4352", "lab=4353"}
        << QString() << 0;
    QTest::newRow("a section inserted at the top takes a new port")
        << pjlink << two << QStringList{"annex", "aud", "lab"}
        << QStringList{"annex=4354", "aud=4352", "lab=4353"} << QString() << 0;
    QTest::newRow("reordered: each keeps its own")
        << pjlink << two << QStringList{"lab", "aud"} << QStringList{"lab=4353", "aud=4352"}
        << QString() << 0;
    QTest::newRow("a removed projector's port is not handed on")
        << pjlink << two << QStringList{"lab", "new"} << QStringList{"lab=4353", "new=4354"}
        << QString() << 0;
    QTest::newRow("an own port is skipped by the others")
        << pjlink << none << QStringList{"a:4353", "b", "c"}
        << QStringList{"a=4353", "b=4352", "c=4354"} << QString() << 0;
    QTest::newRow("an own port that moves a projector is told")
        << pjlink << two << QStringList{"aud:6000", "lab"} << QStringList{"aud=6000", "lab=4353"}
        << QString() << 1;
    QTest::newRow("an own port another projector had is refused with its line")
        << pjlink << two << QStringList{"lab", "annex:4352"} << QStringList{}
        << QStringLiteral("site.ini:3: [annex]: pjlink_port=4352 is the PJLink port [aud]") << 0;
    QTest::newRow("a state file with a port twice is refused with its line")
        << pjlink << QByteArray("# x\naud=4352\nlab=4352\n") << QStringList{"aud"} << QStringList{}
        << QStringLiteral(".pjlink-ports:3: not NAME=PORT") << 0;
    QTest::newRow("a state file with garbage is refused")
        << pjlink << QByteArray("aud 4352\n") << QStringList{"aud"} << QStringList{}
        << QStringLiteral(".pjlink-ports:1: not NAME=PORT") << 0;
    QTest::newRow("share: first start: lines in file order, one port a line")
        << share << none << QStringList{"a@x", "b@y", "c@x"}
        << QStringList{"a=4001", "b=4002", "c=4001"} << QString() << 0;
    QTest::newRow("share: a line inserted at the top takes a new port")
        << share << lines << QStringList{"new@z", "a@x", "b@y"}
        << QStringList{"new=4003", "a=4001", "b=4002"} << QString() << 0;
    QTest::newRow("share: a removed line's port is not handed on")
        << share << lines << QStringList{"b@y", "n@z"} << QStringList{"b=4002", "n=4003"}
        << QString() << 0;
    QTest::newRow("share: an own port on a later section moves the line, told")
        << share << lines << QStringList{"a@x", "b@y", "c:5000@x"}
        << QStringList{"a=5000", "b=4002", "c=5000"} << QString() << 1;
    QTest::newRow("share: an own port another line had is refused where it is written")
        << share << lines << QStringList{"b@y", "n@z", "m:4001@z"} << QStringList{}
        << QStringLiteral("site.ini:6: [m]: share_port=4001 is the share port of the line x") << 0;
    QTest::newRow("share: a device with '=' in it is read back")
        << share << none << QStringList{"a@/dev/serial/by-path/pci=1-port0"}
        << QStringList{"a=4001"} << QString() << 0;
    QTest::newRow("share: a state file with a line twice is refused with its line")
        << share << QByteArray("x=4001\nx=4002\n") << QStringList{"a@x"} << QStringList{}
        << QStringLiteral(".share-ports:2: not DEVICE=PORT") << 0;
    QTest::newRow("share: a state file with a control byte is refused")
        << share << QByteArray("x\x01y=4001\n") << QStringList{"a@x"} << QStringList{}
        << QStringLiteral(".share-ports:1: not DEVICE=PORT") << 0;
}

void TestPortMemory::assigns() {
    QFETCH(PortMemory::Kind, kind);
    QFETCH(QByteArray, remembered);
    QFETCH(QStringList, sections);
    QFETCH(QStringList, ports);
    QFETCH(QString, error);
    QFETCH(int, warnings);
    const bool pjlink = kind == PortMemory::Kind::Pjlink;
    QTemporaryDir dir;
    const QString path = PortMemory::pathFor(kind, dir.path(), QStringLiteral("campus"));
    if (!remembered.isNull()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(remembered) == remembered.size());
    }
    SiteConfig site;
    site.path = QStringLiteral("site.ini");
    for (const QString& section : sections) {
        ProjectorConfig p;
        const QString head = section.section(QLatin1Char('@'), 0, 0);
        p.name = head.section(QLatin1Char(':'), 0, 0);
        p.target = section.contains(QLatin1Char('@')) ? section.section(QLatin1Char('@'), 1)
                                                      : QStringLiteral("/dev/") + p.name;
        p.line = int(site.projectors.size()) * 2 + 1; // the header; an own port on the next
        if (head.contains(QLatin1Char(':'))) {
            const int own = head.section(QLatin1Char(':'), 1).toInt();
            if (pjlink) {
                p.pjlinkPort = own;
                p.pjlinkPortLine = p.line + 1;
            } else {
                // As the site reader gives it: on every section of the line.
                for (ProjectorConfig& q : site.projectors)
                    if (q.target == p.target) {
                        q.sharePort = own;
                        q.sharePortLine = p.line + 1;
                    }
                p.sharePort = own;
                p.sharePortLine = p.line + 1;
            }
        }
        site.projectors << p;
    }
    PortMemory memory(kind);
    QString why;
    QStringList told;
    const bool ok =
        memory.read(path, &why) && memory.assign(&site, pjlink ? 4352 : 4001, &why, &told);
    QVERIFY2(ok == error.isEmpty() && why.contains(error), qPrintable(why));
    if (!ok)
        return;
    QStringList given;
    for (const ProjectorConfig& p : site.projectors)
        given << QStringLiteral("%1=%2").arg(p.name).arg(
            (pjlink ? p.pjlinkPort : p.sharePort).value_or(0));
    QCOMPARE(given, ports);
    QCOMPARE(told.size(), warnings);

    // Written and read again, the next start gives the same ports.
    QVERIFY2(memory.write(&why), qPrintable(why));
    PortMemory again(kind);
    QVERIFY(again.read(path, &why));
    QCOMPARE(again.ports(), memory.ports());
}

QTEST_GUILESS_MAIN(TestPortMemory)
#include "tst_port_memory.moc"
