#include "Invocation.h"
#include "Plan.h"
#include "Report.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace tavo::ctl;

// The command line and the site file, up to the list of projectors a run
// would open: every refusal is one line and the right exit status.
class TestCtlInvocation : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void commandLine_data();
    void commandLine();
    void siteFile_data();
    void siteFile();
    void replyBytesInJson_data();
    void replyBytesInJson();
};

void TestCtlInvocation::commandLine_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error");   // a piece of the one-line message; empty when it runs
    QTest::addColumn<QByteArray>("wire"); // the command text when it runs
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<int>("waitSeconds");

    const QString none;
    QTest::newRow("status") << QStringList{"--port", "COM3", "status"} << none << QByteArray("CR0")
                            << "COM3" << none << 1000 << 60;
    QTest::newRow("options after the command")
        << QStringList{"lamp", "--port", "/dev/ttyUSB0", "--address", "002"} << none
        << QByteArray("CR3") << "/dev/ttyUSB0"
        << "002" << 1000 << 60;
    QTest::newRow("input") << QStringList{"input"} << none << QByteArray("CR1") << none << none
                           << 1000 << 60;
    QTest::newRow("reversal") << QStringList{"reversal"} << none << QByteArray("CR4") << none
                              << none << 1000 << 60;
    QTest::newRow("temp, timeout") << QStringList{"--timeout", "250", "temp"} << none
                                   << QByteArray("CR6") << none << none << 250 << 60;
    QTest::newRow("power on") << QStringList{"power", "on"} << none << QByteArray("C00") << none
                              << none << 1000 << 60;
    QTest::newRow("power off") << QStringList{"--address", "all", "power", "off"} << none
                               << QByteArray("C01") << none << "all" << 1000 << 60;
    QTest::newRow("send with a space") << QStringList{"send", "CR LAMPSTS"} << none
                                       << QByteArray("CR LAMPSTS") << none << none << 1000 << 60;
    QTest::newRow("send Latin-1") << QStringList{"send", QString::fromUtf8("C\u00e9")} << none
                                  << QByteArray("C\xe9") << none << none << 1000 << 60;
    QTest::newRow("wait-ready default")
        << QStringList{"wait-ready"} << none << QByteArray("CR0") << none << none << 1000 << 60;
    QTest::newRow("wait-ready 90") << QStringList{"wait-ready", "90"} << none << QByteArray("CR0")
                                   << none << none << 1000 << 90;
    QTest::newRow("tcp target") << QStringList{"--port", "tcp://127.0.0.1:4001", "status"} << none
                                << QByteArray("CR0") << "tcp://127.0.0.1:4001" << none << 1000
                                << 60;

    const QByteArray no;
    QTest::newRow("no command") << QStringList{"--port", "COM1"} << "no command" << no << none
                                << none << 0 << 0;
    QTest::newRow("unknown command")
        << QStringList{"stauts"} << "unknown command \"stauts\"" << no << none << none << 0 << 0;
    QTest::newRow("unknown flag") << QStringList{"--prot", "COM1", "status"} << "prot" << no << none
                                  << none << 0 << 0;
    QTest::newRow("flag without value")
        << QStringList{"status", "--port"} << "port" << no << none << none << 0 << 0;
    QTest::newRow("baud 4800") << QStringList{"--baud", "4800", "status"} << "--baud" << no << none
                               << none << 0 << 0;
    QTest::newRow("address 005") << QStringList{"--address", "005", "status"} << "--address" << no
                                 << none << none << 0 << 0;
    QTest::newRow("address in capitals")
        << QStringList{"--address", "ALL", "status"} << "--address" << no << none << none << 0 << 0;
    QTest::newRow("timeout zero") << QStringList{"--timeout", "0", "status"} << "--timeout" << no
                                  << none << none << 0 << 0;
    QTest::newRow("timeout text") << QStringList{"--timeout", "1s", "status"} << "--timeout" << no
                                  << none << none << 0 << 0;
    QTest::newRow("argument after status")
        << QStringList{"status", "hall"} << "names go before" << no << none << none << 0 << 0;
    QTest::newRow("names without a site")
        << QStringList{"hall", "status"} << "--site" << no << none << none << 0 << 0;
    QTest::newRow("power without on/off")
        << QStringList{"power"} << "on or off" << no << none << none << 0 << 0;
    QTest::newRow("power up") << QStringList{"power", "up"} << "on or off" << no << none << none
                              << 0 << 0;
    QTest::newRow("argument before power")
        << QStringList{"on", "power"} << "--site" << no << none << none << 0 << 0;
    QTest::newRow("send nothing") << QStringList{"send"} << "TEXT" << no << none << none << 0 << 0;
    QTest::newRow("send two words")
        << QStringList{"send", "CR", "0"} << "TEXT" << no << none << none << 0 << 0;
    QTest::newRow("send beyond Latin-1") << QStringList{"send", QString::fromUtf8("CR\u20ac")}
                                         << "Latin-1" << no << none << none << 0 << 0;
    QTest::newRow("send with a C1 CSI")
        << QStringList{"send", QString::fromUtf8("C0\u009b0")} << "CSI (0x9B) at position 3" << no
        << none << none << 0 << 0;
    QTest::newRow("wait-ready 0") << QStringList{"wait-ready", "0"} << "SECONDS" << no << none
                                  << none << 0 << 0;
    QTest::newRow("--all without a site")
        << QStringList{"--all", "status"} << "--site" << no << none << none << 0 << 0;
    QTest::newRow("site without names")
        << QStringList{"--site", "s.ini", "status"} << "--all" << no << none << none << 0 << 0;
    QTest::newRow("--all and names") << QStringList{"--site", "s.ini", "--all", "a", "status"}
                                     << "not both" << no << none << none << 0 << 0;
}

void TestCtlInvocation::commandLine() {
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    QFETCH(QByteArray, wire);
    QFETCH(QString, port);
    QFETCH(QString, address);
    QFETCH(int, timeoutMs);
    QFETCH(int, waitSeconds);

    const ParseOutcome outcome = parseInvocation(QStringList{"mx7300-ctl"} + args);
    if (!error.isEmpty()) {
        QCOMPARE(outcome.kind, ParseOutcome::Kind::Usage);
        QVERIFY2(outcome.error.contains(error), qPrintable(outcome.error));
        QVERIFY(!outcome.error.contains(QLatin1Char('\n')));
        return;
    }
    QVERIFY2(outcome.kind == ParseOutcome::Kind::Run, qPrintable(outcome.error));
    const Invocation& inv = outcome.invocation;
    QCOMPARE(inv.commandText, wire);
    QCOMPARE(inv.port.value_or(QString()), port);
    QCOMPARE(inv.address.value_or(QString()), address);
    QCOMPARE(inv.timeoutMs, timeoutMs);
    QCOMPARE(inv.waitSeconds, waitSeconds);
}

void TestCtlInvocation::siteFile_data() {
    QTest::addColumn<QByteArray>("site"); // empty: no file at all
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QStringList>("expected"); // name/device/baud/address per projector

    const QByteArray two = "[hall]\nport=/dev/ttyS0\naddress=001\nroom=Main hall\n"
                           "[lab]\nport=COM2\nbaud=9600\n";
    const QString none;
    QTest::newRow("all, flags fill the gaps")
        << two << QStringList{"--all", "--baud", "19200", "--address", "all", "status"} << none
        << QStringList{"hall /dev/ttyS0 19200 001", "lab /dev/mapped-com2 9600 all"};
    QTest::newRow("one by name") << two << QStringList{"lab", "lamp"} << none
                                 << QStringList{"lab /dev/mapped-com2 9600 single"};
    QTest::newRow("names keep their order")
        << two << QStringList{"lab", "hall", "lamp"} << none
        << QStringList{"lab /dev/mapped-com2 9600 single", "hall /dev/ttyS0 19200 001"};
    QTest::newRow("no port anywhere")
        << QByteArray("[a]\naddress=001\n") << QStringList{"--all", "status"} << "no port"
        << QStringList{};
    QTest::newRow("port from the flag")
        << QByteArray("[a]\naddress=002\n[b]\naddress=003\n")
        << QStringList{"--port", "/dev/ttyS1", "--all", "status"} << none
        << QStringList{"a /dev/ttyS1 19200 002", "b /dev/ttyS1 19200 003"};

    QTest::newRow("the gateway's keys are read alike")
        << QByteArray("[a]\nport=TCP://127.0.0.1:4001\npjlink_port=4352\npjlink_password=x\n"
                      "pjlink_inputs=1=31\nlamp_warn_hours=2000\n")
        << QStringList{"--all", "status"} << none
        << QStringList{"a TCP://127.0.0.1:4001 19200 single"};
    QTest::newRow("any case of the scheme")
        << QByteArray("[a]\nport=Rfc2217://box:4002\n") << QStringList{"--all", "status"} << none
        << QStringList{"a Rfc2217://box:4002 19200 single"};

    const QStringList nothing;
    QTest::newRow("missing file") << QByteArray() << QStringList{"--all", "status"}
                                  << "does not exist" << nothing;
    QTest::newRow("garbage") << QByteArray("\x7f\x45\x4c\x46\x02\x01\x01\0\0\0\x89PNG\r\n", 16)
                             << QStringList{"--all", "status"} << "site.ini:1: is not UTF-8 text"
                             << nothing;
    QTest::newRow("broken section header")
        << QByteArray("[a\nport=/dev/ttyS0\n") << QStringList{"--all", "status"}
        << "site.ini:1: the section name has no closing" << nothing;
    QTest::newRow("no sections") << QByteArray("port=/dev/ttyS0\n")
                                 << QStringList{"--all", "status"}
                                 << "site.ini:1: \"port\" stands outside" << nothing;
    QTest::newRow("empty") << QByteArray("\n") << QStringList{"--all", "status"}
                           << "site.ini: is empty" << nothing;
    QTest::newRow("duplicate names")
        << QByteArray("[a]\nport=/dev/ttyS0\n[a]\nport=/dev/ttyS1\n")
        << QStringList{"--all", "status"} << "site.ini:3: [a] again (first at line 1)" << nothing;
    QTest::newRow("unclosed quote")
        << QByteArray("[a]\nport=\"/dev/ttyS0\n") << QStringList{"--all", "status"}
        << "site.ini:2: the quote" << nothing;
    // The gateway's rules, so a file one program takes the other takes too.
    QTest::newRow("a name the gateway refuses")
        << QByteArray("[room/one]\nport=/dev/ttyS0\n") << QStringList{"--all", "power", "off"}
        << "site.ini:1: [room/one]: a projector's name is letters" << nothing;
    QTest::newRow("a section not run still read")
        << QByteArray("[room]\nport=/dev/ttyS1\n[b]\nport=/dev/ttyS0\npjlink_inputs=31\n")
        << QStringList{"room", "status"} << "site.ini:5: [b]: pjlink_inputs: " << nothing;
    QTest::newRow("unknown name") << two << QStringList{"attic", "status"} << "\"attic\""
                                  << nothing;
    QTest::newRow("name given twice")
        << two << QStringList{"lab", "lab", "status"} << "twice" << nothing;
    QTest::newRow("misspelt key") << QByteArray("[a]\nprot=/dev/ttyS0\n")
                                  << QStringList{"--all", "status"}
                                  << "site.ini:2: [a] has an unknown key \"prot\"" << nothing;
    QTest::newRow("bad baud") << QByteArray("[a]\nport=/dev/ttyS0\nbaud=2400\n")
                              << QStringList{"--all", "status"} << "site.ini:3: [a] baud"
                              << nothing;
    QTest::newRow("bad address") << QByteArray("[a]\nport=/dev/ttyS0\naddress=A001\n")
                                 << QStringList{"--all", "status"} << "address" << nothing;
    QTest::newRow("COM16") << QByteArray("[a]\nport=COM16\n") << QStringList{"--all", "status"}
                           << "COM1 to COM15" << nothing;
    QTest::newRow("tcp without port") << QByteArray("[a]\nport=tcp://host\n")
                                      << QStringList{"--all", "status"} << "tcp://" << nothing;
    QTest::newRow("one wire, two speeds")
        << QByteArray("[a]\nport=/dev/ttyS0\nbaud=9600\n[b]\nport=/dev/ttyS0\nbaud=19200\n")
        << QStringList{"--all", "status"}
        << "site.ini:6: [b] is on /dev/ttyS0 at a different baud rate (19200) from [a] at line 1"
        << nothing;
    QTest::newRow("one wire, two speeds, one of them not run")
        << QByteArray("[a]\nport=COM2\nbaud=9600\n[b]\nport=/dev/mapped-com2\n")
        << QStringList{"a", "status"} << "site.ini:4: [b] is on /dev/mapped-com2" << nothing;
}

void TestCtlInvocation::siteFile() {
    QFETCH(QByteArray, site);
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    QFETCH(QStringList, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString sitePath = dir.filePath(QStringLiteral("site.ini"));
    if (!site.isEmpty()) {
        QFile file(sitePath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(site);
    }
    const QString consolePath = dir.filePath(QStringLiteral("TAVO.ini"));
    {
        QFile console(consolePath);
        QVERIFY(console.open(QIODevice::WriteOnly));
        console.write("[Ports]\nCOM2=/dev/mapped-com2\n");
    }

    const ParseOutcome parsed =
        parseInvocation(QStringList{"mx7300-ctl", "--site", sitePath} + args);
    QVERIFY2(parsed.kind == ParseOutcome::Kind::Run, qPrintable(parsed.error));
    const Plan plan = planRun(parsed.invocation, ConsoleDefaults{}, consolePath);
    if (!error.isEmpty()) {
        QVERIFY2(plan.error.contains(error), qPrintable(plan.error));
        QVERIFY(!plan.error.contains(QLatin1Char('\n')));
        QCOMPARE(plan.errorStatus, 2);
        QVERIFY(plan.projectors.isEmpty());
        return;
    }
    QVERIFY2(plan.error.isEmpty(), qPrintable(plan.error));
    QStringList got;
    for (const ProjectorEntry& p : plan.projectors)
        got << QStringLiteral("%1 %2 %3 %4").arg(p.name, p.device).arg(p.baud).arg(p.address);
    QCOMPARE(got, expected);
}

void TestCtlInvocation::replyBytesInJson_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("plain") << QByteArray("00\r");
    QTest::newRow("ACK") << QByteArray("\x06");
    QTest::newRow("quote and backslash") << QByteArray("\"\\");
    QTest::newRow("high bytes") << QByteArray("\x7f\x80\xff");
    QTest::newRow("NUL") << QByteArray(1, '\0');
}

// Each reply byte comes back to a JSON reader as the character of the same code, on one line.
void TestCtlInvocation::replyBytesInJson() {
    QFETCH(QByteArray, bytes);
    Outcome outcome;
    outcome.reply = bytes;
    const QString line = jsonLine(ProjectorEntry{}, outcome);
    QVERIFY(!line.contains(QLatin1Char('\n')));
    QJsonParseError error;
    const QJsonDocument parsed = QJsonDocument::fromJson(line.toUtf8(), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(parsed.object().value(QStringLiteral("reply")).toString().toLatin1(), bytes);
}

QTEST_GUILESS_MAIN(TestCtlInvocation)
#include "tst_ctl_invocation.moc"
