#include "SiteFile.h"
#include "SiteReader.h"
#include "SiteRules.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace tavo::site;

namespace {

// "name@line: key=value@line; ..." for each section, one string per section.
QStringList dump(const SiteFile& site) {
    QStringList out;
    for (const SiteSection& section : site.sections) {
        QString text = QStringLiteral("%1@%2:").arg(section.name, QString::number(section.line));
        for (const SiteEntry& e : section.entries)
            text += QStringLiteral(" %1=%2@%3").arg(e.key, e.value, QString::number(e.line));
        out << text;
    }
    return out;
}

} // namespace

class TestSiteFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void text_data();
    void text();
    void onlyRegularFilesWithinTheCap_data();
    void onlyRegularFilesWithinTheCap();
    void sharedRules_data();
    void sharedRules();
    void projectors_data();
    void projectors();
};

void TestSiteFile::text_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("sections"); // as dump() writes them, when it reads
    QTest::addColumn<QString>("error");        // the whole line after "site.ini", when refused

    const QString reads;
    QTest::newRow("names as written")
        << QByteArray("[room/one]\nport=/dev/ttyS0\n[room/two]\nport=/dev/ttyS1\n"
                      "[hall left]\n[hall%20left]\n[a\\b]\n")
        << QStringList{"room/one@1: port=/dev/ttyS0@2", "room/two@3: port=/dev/ttyS1@4",
                       "hall left@5:", "hall%20left@6:", "a\\b@7:"}
        << reads;
    QTest::newRow("comments, blanks, CRLF, BOM, spaces, quotes")
        << QByteArray("\xEF\xBB\xBF; site\r\n\r\n# hall\r\n[hall]\r\n  port =  COM2 \r\n"
                      "room=\" Main, east \"\r\nbaud=\"\"\r\nnote=a\"b\n")
        << QStringList{"hall@4: port=COM2@5 room= Main, east @6 baud=@7 note=a\"b@8"} << reads;
    QTest::newRow("no newline at the end")
        << QByteArray("[a]\nport=x") << QStringList{"a@1: port=x@2"} << reads;
    QTest::newRow("UTF-8 name") << QByteArray("[Saal \xC3\xBC]\n") << QStringList{"Saal \u00fc@1:"}
                                << reads;

    const QStringList refused;
    QTest::newRow("empty") << QByteArray() << refused << ": is empty";
    QTest::newRow("blank lines only") << QByteArray("\n \n") << refused << ": is empty";
    QTest::newRow("comments only")
        << QByteArray("; none\n") << refused << ": names no projector (no [NAME] section)";
    QTest::newRow("key before any section") << QByteArray("; x\nport=/dev/ttyS0\n[a]\n") << refused
                                            << ":2: \"port\" stands outside any [NAME] section";
    QTest::newRow("duplicate section")
        << QByteArray("[a]\n[b]\n[a]\n") << refused << ":3: [a] again (first at line 1)";
    QTest::newRow("duplicate key") << QByteArray("[a]\nport=x\nport=y\n") << refused
                                   << ":3: [a] has \"port\" again (first at line 2)";
    QTest::newRow("neither") << QByteArray("[a]\nport\n") << refused
                             << ":2: is neither [NAME], key=value nor a comment";
    QTest::newRow("no key") << QByteArray("[a]\n=x\n") << refused << ":2: has a value but no key";
    QTest::newRow("unclosed section")
        << QByteArray("[a\n") << refused << ":1: the section name has no closing \"]\"";
    QTest::newRow("empty name") << QByteArray("[]\n") << refused << ":1: the section has no name";
    QTest::newRow("name with an outer space")
        << QByteArray("[ a]\n") << refused
        << ":1: the section name \" a\" begins or ends with a space";
    QTest::newRow("unclosed quote")
        << QByteArray("[a]\nport=\"/dev/ttyS0\n[b]\n") << refused
        << ":2: the quote that opens the value of \"port\" is not closed";
    QTest::newRow("a lone quote") << QByteArray("[a]\nroom=\"\n") << refused
                                  << ":2: the quote that opens the value of \"room\" is not closed";
    QTest::newRow("NUL") << QByteArray("[a]\nport=x\0y\n", 12) << refused
                         << ":2: holds the control character U+0000";
    QTest::newRow("lone CR") << QByteArray("[a]\rport=x\n") << refused
                             << ":1: holds the control character U+000D";
    QTest::newRow("C1 control") << QByteArray("[a]\n[b\xC2\x85]\n") << refused
                                << ":2: holds the control character U+0085";
    QTest::newRow("invalid UTF-8")
        << QByteArray("[a]\n[\xFF]\n") << refused << ":2: is not UTF-8 text";
    QTest::newRow("cut UTF-8 sequence")
        << QByteArray("[a]\n[b]\n[\xC3") << refused << ":3: is not UTF-8 text";
    QTest::newRow("%1 in a name stays as written")
        << QByteArray("[%1%2]\n[%1%2]\n") << refused << ":2: [%1%2] again (first at line 1)";
}

void TestSiteFile::text() {
    QFETCH(QByteArray, text);
    QFETCH(QStringList, sections);
    QFETCH(QString, error);

    const SiteRead read = parseSiteText(QStringLiteral("site.ini"), text);
    if (!error.isEmpty()) {
        QVERIFY(!read.site);
        QCOMPARE(read.error, QStringLiteral("site.ini") + error);
        return;
    }
    QVERIFY2(read.site, qPrintable(read.error));
    QCOMPARE(dump(*read.site), sections);
}

void TestSiteFile::onlyRegularFilesWithinTheCap_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("error"); // after the path; empty when it reads

    QTest::newRow("at the cap") << "cap" << QString();
    QTest::newRow("one byte over") << "over"
                                   << ": is larger than 1024 KiB";
    QTest::newRow("missing") << "missing"
                             << ": does not exist";
    QTest::newRow("dangling link") << "dangling"
                                   << ": is a symbolic link to nothing";
    QTest::newRow("link loop") << "loop"
                               << ": is a symbolic link loop";
    QTest::newRow("FIFO without a writer") << "fifo"
                                           << ": is a FIFO, not a file";
    QTest::newRow("directory") << "dir"
                               << ": is a directory, not a file";
    QTest::newRow("/dev/zero") << "/dev/zero"
                               << ": is a device, not a file";
}

void TestSiteFile::onlyRegularFilesWithinTheCap() {
    QFETCH(QString, kind);
    QFETCH(QString, error);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString path = dir.filePath(kind);
    const QByteArray name = QFile::encodeName(path);
    if (kind == QLatin1String("cap") || kind == QLatin1String("over")) {
        // One section, padded to the size with a comment.
        const QByteArray head = "[a]\n;";
        const qint64 size = kMaxSiteFileSize + (kind == QLatin1String("over") ? 1 : 0);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(head + QByteArray(size - head.size(), 'x')), size);
    } else if (kind == QLatin1String("dangling")) {
        QCOMPARE(::symlink("nowhere", name.constData()), 0);
    } else if (kind == QLatin1String("loop")) {
        QCOMPARE(::symlink(QFile::encodeName(dir.filePath("loop2")).constData(), name.constData()),
                 0);
        QCOMPARE(::symlink(name.constData(), QFile::encodeName(dir.filePath("loop2")).constData()),
                 0);
    } else if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(name.constData(), 0600), 0);
    } else if (kind == QLatin1String("dir")) {
        QVERIFY(QDir().mkdir(path));
    } else if (kind.startsWith(QLatin1Char('/'))) {
        path = kind;
    }

    const SiteRead read = readSiteFile(path);
    if (error.isEmpty()) {
        QVERIFY2(read.site, qPrintable(read.error));
        QCOMPARE(read.site->sections.size(), 1);
        return;
    }
    QVERIFY(!read.site);
    QCOMPARE(read.error, path + error);
}

// The rules mx7300-ctl and the gateway both apply, so neither takes a file the other refuses.
void TestSiteFile::sharedRules_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("rates"); // each section's rate, when it reads
    QTest::addColumn<QString>("error"); // after "site.ini", when refused

    QTest::newRow("one port, one rate")
        << QByteArray("[a]\nport=/dev/ttyS0\nbaud=9600\n[b]\nport=/dev/ttyS0\nbaud=9600\n")
        << "9600 9600" << QString();
    QTest::newRow("the default and the same rate written")
        << QByteArray("[a]\nport=/dev/ttyS0\n[b]\nport= /dev/ttyS0 \nbaud=19200\n") << "19200 19200"
        << QString();
    QTest::newRow("two ports, two rates")
        << QByteArray("[a]\nport=/dev/ttyS0\nbaud=9600\n[b]\nport=/dev/ttyS1\n") << "9600 19200"
        << QString();
    QTest::newRow("no port, no wire to share")
        << QByteArray("[a]\nbaud=9600\n[b]\n") << "9600 19200" << QString();
    QTest::newRow("one port, two rates")
        << QByteArray("[a]\nport=/dev/ttyS0\nbaud=9600\n[b]\nport=/dev/ttyS0\nbaud=19200\n")
        << QString()
        << ":6: [b] is on /dev/ttyS0 at a different baud rate (19200) from [a] at line 1 "
           "(9600); projectors on one port share its speed";
    QTest::newRow("a written rate against the default, at the section")
        << QByteArray("[a]\nport=tcp://h:1\nbaud=9600\n[b]\nport=tcp://h:1\n") << QString()
        << ":4: [b] is on tcp://h:1 at a different baud rate (19200) from [a] at line 1 "
           "(9600); projectors on one port share its speed";
    QTest::newRow("a rate that is none")
        << QByteArray("[a]\nport=/dev/ttyS0\nbaud=9600 \n[b]\nbaud=115200\n") << QString()
        << ":5: [b] baud must be 9600 or 19200";
}

void TestSiteFile::sharedRules() {
    QFETCH(QByteArray, text);
    QFETCH(QString, rates);
    QFETCH(QString, error);

    const SiteRead read = parseSiteText(QStringLiteral("site.ini"), text);
    QVERIFY2(read.site, qPrintable(read.error));
    QString why;
    const auto got = baudRates(
        *read.site, 19200,
        [](const SiteSection& section) {
            return section.value(QStringLiteral("port")).value_or(QString()).trimmed();
        },
        &why);
    if (!error.isEmpty()) {
        QVERIFY(!got);
        QCOMPARE(why, QStringLiteral("site.ini") + error);
        return;
    }
    QVERIFY2(got, qPrintable(why));
    QStringList words;
    for (const int rate : *got)
        words << QString::number(rate);
    QCOMPARE(words.join(QLatin1Char(' ')), rates);
}

// The one reading both programs make of a section: what it gives, or the line that refuses it.
void TestSiteFile::projectors_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("defaults"); // "PORT BAUD ADDRESS" filling gaps; "-": the reader's
    QTest::addColumn<QStringList>("read"); // per projector, its fields joined by "|" (then its
                                           // line's share port, if any, and where it is written)
    QTest::addColumn<QString>("error");    // after "site.ini", when refused

    const QString none = QStringLiteral("-");
    const QStringList refused;
    QTest::newRow("every key")
        << QByteArray("[hall]\nport=rfc2217://box:4002\nbaud=9600\naddress=003\nroom=Main hall\n"
                      "pjlink_port=4352\npjlink_password=pw\npjlink_inputs=1=31\n"
                      "lamp_warn_hours=0\n")
        << none << QStringList{"hall@1|rfc2217://box:4002|9600|003|A003|Main hall|4352@6|pw|1=31|0"}
        << QString();
    QTest::newRow("what is left out")
        << QByteArray("[a]\nport=/dev/ttyS0\n") << none
        << QStringList{"a@1|/dev/ttyS0|19200|single|||-@0|||3000"} << QString();
    QTest::newRow("a line's share port, on every section of the line")
        << QByteArray("[a]\nport=COM2\n[b]\nport=/dev/mapped-com2\nshare_port=4100\n[c]\n"
                      "port=y\n")
        << none
        << QStringList{"a@1|COM2|19200|single|||-@0|||3000|4100@5",
                       "b@3|/dev/mapped-com2|19200|single|||-@0|||3000|4100@5",
                       "c@6|y|19200|single|||-@0|||3000"}
        << QString();
    QTest::newRow("defaults fill the gaps")
        << QByteArray("[a]\n[b]\nport=COM3\naddress=all\n") << "COM2 9600 001"
        << QStringList{"a@1|COM2|9600|001|A001||-@0|||3000", "b@2|COM3|9600|all|AFFF||-@0|||3000"}
        << QString();
    QTest::newRow("a name with a slash")
        << QByteArray("[a]\nport=x\n[room/one]\nport=y\n") << none << refused
        << ":3: [room/one]: a projector's name is letters, digits, _ and -";
    QTest::newRow("a name with a space") << QByteArray("[hall left]\nport=x\n") << none << refused
                                         << ":1: [hall left]: a projector's name is letters, "
                                            "digits, _ and -";
    QTest::newRow("the gateway's own name")
        << QByteArray("[gateway]\nport=x\n") << none << refused
        << ":1: [gateway]: the name is the gateway's own topic; choose another";
    QTest::newRow("an unknown key")
        << QByteArray("[a]\nprot=/dev/ttyS0\n") << none << refused
        << ":2: [a] has an unknown key \"prot\" (port, baud, address, room, pjlink_port, "
           "pjlink_password, pjlink_inputs, lamp_warn_hours, share_port)";
    QTest::newRow("no port, none to fill it")
        << QByteArray("[a]\nport=x\n[b]\nroom=r\n") << none << refused
        << ":3: [b]: no port= (a device path, tcp://HOST:PORT or rfc2217://HOST:PORT)";
    QTest::newRow("COM16") << QByteArray("[a]\nport=COM16\n") << none << refused
                           << ":2: [a]: port \"COM16\" is no port COM1 to COM15";
    QTest::newRow("a bad default port, at the section")
        << QByteArray("[a]\n") << "com0 19200 single" << refused
        << ":1: [a]: port \"com0\" is no port COM1 to COM15";
    QTest::newRow("tcp without a port") << QByteArray("[a]\nport=tcp://host\n") << none << refused
                                        << ":2: [a]: port \"tcp://host\" is not tcp://HOST:PORT "
                                           "or rfc2217://HOST:PORT";
    QTest::newRow("tcp port 0") << QByteArray("[a]\nport=TCP://h:0\n") << none << refused
                                << ":2: [a]: port \"TCP://h:0\" is not tcp://HOST:PORT or "
                                   "rfc2217://HOST:PORT";
    QTest::newRow("an address that is none")
        << QByteArray("[a]\nport=x\naddress=A001\n") << none << refused
        << ":3: [a]: address must be single, all, 001, 002, 003 or 004";
    QTest::newRow("a bad default address, at the section")
        << QByteArray("[a]\nport=x\n") << "- 19200 005" << refused
        << ":1: [a]: address must be single, all, 001, 002, 003 or 004";
    QTest::newRow("pjlink_port 0") << QByteArray("[a]\nport=x\npjlink_port=0\n") << none << refused
                                   << ":3: [a]: pjlink_port must be 1 to 65535";
    QTest::newRow("pjlink_port 65536") << QByteArray("[a]\nport=x\npjlink_port=65536\n") << none
                                       << refused << ":3: [a]: pjlink_port must be 1 to 65535";
    QTest::newRow("one pjlink_port twice")
        << QByteArray("[a]\nport=x\npjlink_port=5000\n[b]\nport=y\nroom=r\npjlink_port=5000\n")
        << none << refused << ":7: [b]: PJLink port 5000 is already [a]'s";
    QTest::newRow("share_port 0") << QByteArray("[a]\nport=x\nshare_port=0\n") << none << refused
                                  << ":3: [a]: share_port must be 1 to 65535";
    QTest::newRow("a line's sections disagree on its share port")
        << QByteArray("[a]\nport=COM2\nshare_port=4100\n[b]\nport=/dev/mapped-com2\n"
                      "share_port=4200\n")
        << none << refused << ":6: [b]: share_port=4200, but [a] on the same port says 4100";
    QTest::newRow("two lines, one share port")
        << QByteArray("[a]\nport=x\nshare_port=4100\n[b]\nport=y\nshare_port=4100\n") << none
        << refused << ":6: [b]: share_port=4100 is already x's";
    QTest::newRow("pjlink_inputs not a pair")
        << QByteArray("[a]\nport=x\npjlink_inputs=31\n") << none << refused
        << ":3: [a]: pjlink_inputs: \"31\" is not INPUT=CODE with an input 1 to 5 and a PJLink "
           "code 11 to 59";
    QTest::newRow("pjlink_inputs twice")
        << QByteArray("[a]\nport=x\npjlink_inputs=1=11,2=11\n") << none << refused
        << ":3: [a]: pjlink_inputs: input 2 or code 11 is given twice";
    QTest::newRow("lamp hours negative")
        << QByteArray("[a]\nport=x\nlamp_warn_hours=-1\n") << none << refused
        << ":3: [a]: lamp_warn_hours must be a whole number of hours";
    QTest::newRow("two names of one wire, two speeds")
        << QByteArray("[a]\nport=COM2\nbaud=9600\n[b]\nport=/dev/mapped-com2\n") << none << refused
        << ":4: [b] is on /dev/mapped-com2 at a different baud rate (19200) from [a] at line 1 "
           "(9600); projectors on one port share its speed";
    QTest::newRow("a refused file, before any section")
        << QByteArray("[a\n") << none << refused << ":1: the section name has no closing \"]\"";
}

void TestSiteFile::projectors() {
    QFETCH(QByteArray, text);
    QFETCH(QString, defaults);
    QFETCH(QStringList, read);
    QFETCH(QString, error);

    SiteDefaults given;
    if (defaults != QLatin1String("-")) {
        const QStringList words = defaults.split(QLatin1Char(' '));
        given.port = words[0] == QLatin1String("-") ? QString() : words[0];
        given.baud = words[1].toInt();
        given.address = words[2];
    }
    given.deviceOf = [](const QString& target) {
        return target == QLatin1String("COM2") ? QStringLiteral("/dev/mapped-com2") : target;
    };
    const SiteProjectors got = readSiteText(QStringLiteral("site.ini"), text, given);
    if (!error.isEmpty()) {
        QVERIFY(!got.projectors);
        QCOMPARE(got.error, QStringLiteral("site.ini") + error);
        return;
    }
    QVERIFY2(got.projectors, qPrintable(got.error));
    QStringList shown;
    for (const SiteProjector& p : *got.projectors)
        shown << QStringList{p.name + QLatin1Char('@') + QString::number(p.line),
                             p.target,
                             QString::number(p.baud),
                             p.address,
                             QString::fromLatin1(p.prefix),
                             p.room,
                             (p.pjlinkPort ? QString::number(*p.pjlinkPort) : QStringLiteral("-")) +
                                 QLatin1Char('@') + QString::number(p.pjlinkPortLine),
                             p.pjlinkPassword,
                             p.pjlinkInputs,
                             QString::number(p.lampWarnHours)}
                         .join(QLatin1Char('|')) +
                     (p.sharePort ? QStringLiteral("|%1@%2").arg(*p.sharePort).arg(p.sharePortLine)
                                  : QString());
    QCOMPARE(shown, read);
}

QTEST_GUILESS_MAIN(TestSiteFile)
#include "tst_site_file.moc"
