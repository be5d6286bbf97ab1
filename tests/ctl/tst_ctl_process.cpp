#include "PseudoTerminal.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <memory>
#include <termios.h>
#include <vector>

namespace {

struct CtlRun {
    int status = -1;
    QString out;
    QString err;
    qint64 ms = 0;
    int lineSpeed = -1; // of the pseudo-terminal while the program had it open
};

// Real simulators, each on its own pseudo-terminal, ended with the test.
class Simulators {
public:
    explicit Simulators(const QProcessEnvironment& env) : m_env(env) {}
    ~Simulators() {
        for (auto& sim : m_sims) {
            sim->terminate();
            sim->waitForFinished(10000);
        }
    }
    // The simulator's device, or empty when it did not start.
    QString start(QStringList args) {
        auto sim = std::make_unique<QProcess>();
        sim->setProcessEnvironment(m_env);
        sim->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // The rows run at 9600 unless they name another rate (the last --baud counts).
        sim->start(QStringLiteral(MX7300_SIM_PATH),
                   QStringList{"--baud", "9600"} + args << QStringLiteral("--quiet"));
        QElapsedTimer waited;
        waited.start();
        while (!sim->canReadLine() && waited.elapsed() < 10000)
            sim->waitForReadyRead(100);
        const QString device = QString::fromLocal8Bit(sim->readLine()).trimmed();
        m_sims.push_back(std::move(sim));
        return device.startsWith(QLatin1String("/dev/")) ? device : QString();
    }

private:
    QProcessEnvironment m_env;
    std::vector<std::unique_ptr<QProcess>> m_sims;
};

// ser2net in the foreground, serving devices on loopback ports.
class Ser2net {
public:
    ~Ser2net() {
        m_process.terminate();
        m_process.waitForFinished(10000);
    }
    static bool available() { return !QStandardPaths::findExecutable("ser2net").isEmpty(); }

    // `accepter` is "tcp" or "telnet(rfc2217),tcp"; returns the loopback port, 0 on failure.
    quint16 serve(const QString& accepter, const QString& device) {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0))
            return 0;
        const quint16 port = probe.serverPort();
        m_yaml += QStringLiteral("connection: &c%1\n  accepter: %2,127.0.0.1,%1\n"
                                 "  connector: serialdev,%3,9600n81,local\n")
                      .arg(port)
                      .arg(accepter, device);
        m_ports << port;
        return port;
    }
    bool start(const QString& dir) {
        QFile config(dir + QStringLiteral("/ser2net.yaml"));
        if (!config.open(QIODevice::WriteOnly))
            return false;
        config.write("%YAML 1.1\n---\n" + m_yaml.toUtf8());
        config.close();
        // Its debug chatter (mdns and the like) is of no interest here.
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.start(QStringLiteral("ser2net"),
                        {"-n", "-d", "-c", config.fileName(), "-P", dir + "/ser2net.pid"});
        if (!m_process.waitForStarted(10000))
            return false;
        // Ready when every accepter takes a connection.
        for (const quint16 port : m_ports) {
            QElapsedTimer waited;
            waited.start();
            for (;;) {
                QTcpSocket socket;
                socket.connectToHost(QHostAddress::LocalHost, port);
                if (socket.waitForConnected(200))
                    break;
                if (waited.elapsed() > 10000)
                    return false;
                QTest::qWait(50);
            }
        }
        return true;
    }

private:
    QString m_yaml;
    QList<quint16> m_ports;
    QProcess m_process;
};

} // namespace

// The real mx7300-ctl, as a script would run it.
class TestCtlProcess : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void commandOnTheWire_data();
    void commandOnTheWire();
    void consoleSettingsChooseThePort_data();
    void consoleSettingsChooseThePort();
    void exitStatus_data();
    void exitStatus();
    void networkPort_data();
    void networkPort();
    void waitReady_data();
    void waitReady();
    void siteOfEight();
    void runsThatEndEarly_data();
    void runsThatEndEarly();

private:
    CtlRun run(const QStringList& args);
    // Runs the program against `peer`, which answers `reply` to whatever
    // line arrives; `wire` receives the bytes the program sent.
    void exchange(PseudoTerminal& peer, const QStringList& args, const QByteArray& reply,
                  QByteArray* wire, CtlRun* result);
    QString writeFile(const QString& name, const QByteArray& text);

    std::unique_ptr<QTemporaryDir> m_dir;
    QProcessEnvironment m_env;
};

void TestCtlProcess::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_env = QProcessEnvironment::systemEnvironment();
    m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir->path());
}

QString TestCtlProcess::writeFile(const QString& name, const QByteArray& text) {
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
    return path;
}

CtlRun TestCtlProcess::run(const QStringList& args) {
    CtlRun result;
    QProcess ctl;
    ctl.setProcessEnvironment(m_env);
    QElapsedTimer clock;
    clock.start();
    ctl.start(QStringLiteral(MX7300_CTL_PATH), args);
    if (!ctl.waitForFinished(120000) || ctl.exitStatus() != QProcess::NormalExit)
        return result;
    result.ms = clock.elapsed();
    result.status = ctl.exitCode();
    result.out = QString::fromUtf8(ctl.readAllStandardOutput());
    result.err = QString::fromUtf8(ctl.readAllStandardError());
    return result;
}

void TestCtlProcess::exchange(PseudoTerminal& peer, const QStringList& args,
                              const QByteArray& reply, QByteArray* wire, CtlRun* result) {
    QProcess ctl;
    ctl.setProcessEnvironment(m_env);
    ctl.start(QStringLiteral(MX7300_CTL_PATH), args);
    QVERIFY(ctl.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT((*wire += peer.readAvailable()).endsWith('\r'), 10000);
    termios line{};
    if (::tcgetattr(peer.slaveFd(), &line) == 0)
        result->lineSpeed = int(::cfgetospeed(&line));
    QVERIFY(peer.write(reply));
    QVERIFY(ctl.waitForFinished(30000));
    result->status = ctl.exitCode();
    result->out = QString::fromUtf8(ctl.readAllStandardOutput());
    result->err = QString::fromUtf8(ctl.readAllStandardError());
}

void TestCtlProcess::commandOnTheWire_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("line");    // after "- | DEVICE | "
    QTest::addColumn<QString>("decoded"); // JSON value
    QTest::addColumn<QString>("replyJson");

    QTest::newRow("status") << QStringList{"status"} << QByteArray("CR0\r") << QByteArray("00\r")
                            << "single | sent C R 0  [CR] | reply 0 0  [CR] | Power ON"
                            << "\"Power ON\""
                            << "\"00\\u000d\"";
    QTest::newRow("status, lamp failure")
        << QStringList{"status"} << QByteArray("CR0\r") << QByteArray("81\r")
        << "single | sent C R 0  [CR] | reply 8 1  [CR] | Lamp Failure"
        << "\"Lamp Failure\""
        << "\"81\\u000d\"";
    QTest::newRow("input, addressed")
        << QStringList{"--address", "002", "input"} << QByteArray("A002CR1\r") << QByteArray("5\r")
        << "002 | sent A 0 0 2 C R 1  [CR] | reply 5  [CR] | Wireless/Viewer"
        << "\"Wireless/Viewer\""
        << "\"5\\u000d\"";
    QTest::newRow("lamp")
        << QStringList{"lamp"} << QByteArray("CR3\r") << QByteArray("01234\r")
        << "single | sent C R 3  [CR] | reply 0 1 2 3 4  [CR] | 1 2 3 4   Hour Use"
        << "\"1 2 3 4   Hour Use\""
        << "\"01234\\u000d\"";
    QTest::newRow("reversal, all") << QStringList{"--address", "all", "reversal"}
                                   << QByteArray("AFFFCR4\r") << QByteArray("10\r")
                                   << "all | sent A F F F C R 4  [CR] | reply 1 0  [CR] | "
                                      "Top/Bottom reversal"
                                   << "\"Top/Bottom reversal\""
                                   << "\"10\\u000d\"";
    QTest::newRow("temp") << QStringList{"temp"} << QByteArray("CR6\r")
                          << QByteArray("038.5 046.0 031.5\r")
                          << "single | sent C R 6  [CR] | reply 0 3 8 . 5 _ 0 4 6 . 0 _ 0 3 1 . 5 "
                             " [CR] | 0 3 8 . 5 deg C 0 4 6 . 0 deg C 0 3 1 . 5 deg C"
                          << "\"0 3 8 . 5 deg C 0 4 6 . 0 deg C 0 3 1 . 5 deg C\""
                          << "\"038.5 046.0 031.5\\u000d\"";
    QTest::newRow("power on, addressed")
        << QStringList{"--address", "001", "power", "on"} << QByteArray("A001C00\r")
        << QByteArray("\x06") << "001 | sent A 0 0 1 C 0 0  [CR] | reply [ACK]"
        << "null"
        << "\"\\u0006\"";
    QTest::newRow("power off") << QStringList{"power", "off"} << QByteArray("C01\r")
                               << QByteArray("\x06") << "single | sent C 0 1  [CR] | reply [ACK]"
                               << "null"
                               << "\"\\u0006\"";
    QTest::newRow("send with a space")
        << QStringList{"send", "CR LAMPSTS"} << QByteArray("CR LAMPSTS\r") << QByteArray("ON\r")
        << "single | sent C R _ L A M P S T S  [CR] | reply O N  [CR]"
        << "null"
        << "\"ON\\u000d\"";
    QTest::newRow("send a status read decodes")
        << QStringList{"send", "CR1"} << QByteArray("CR1\r") << QByteArray("3\r")
        << "single | sent C R 1  [CR] | reply 3  [CR] | Input 3"
        << "\"Input 3\""
        << "\"3\\u000d\"";
    QTest::newRow("send Latin-1") << QStringList{"send", QString::fromUtf8("C\u00e9")}
                                  << QByteArray("C\xe9\r") << QByteArray("?\r")
                                  << "single | sent C ?  [CR] | reply ?  [CR]"
                                  << "null"
                                  << "\"?\\u000d\"";
    QTest::newRow("reply beyond ASCII")
        << QStringList{"status"} << QByteArray("CR0\r") << QByteArray("\x80\xff\r")
        << "single | sent C R 0  [CR] | reply ? ?  [CR]"
        << "null"
        << "\"\\u0080\\u00ff\\u000d\"";
}

void TestCtlProcess::commandOnTheWire() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, wire);
    QFETCH(QByteArray, reply);
    QFETCH(QString, line);
    QFETCH(QString, decoded);
    QFETCH(QString, replyJson);

    PseudoTerminal peer;
    QVERIFY(peer.isValid());
    const QStringList port{"--port", peer.slavePath(), "--baud", "9600"};

    QByteArray sent;
    CtlRun human;
    exchange(peer, port + args, reply, &sent, &human);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(sent, wire);
    QCOMPARE(human.status, 0);
    QCOMPARE(human.out, QStringLiteral("- | %1 | %2\n").arg(peer.slavePath(), line));

    sent.clear();
    CtlRun json;
    exchange(peer, port + args + QStringList{"--json"}, reply, &sent, &json);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(sent, wire);
    QCOMPARE(json.status, 0);
    const QString address = line.section(QLatin1Char(' '), 0, 0);
    const auto jsonValue = [](const QString& text) {
        return QJsonDocument::fromJson(QStringLiteral("[%1]").arg(text).toUtf8()).array().at(0);
    };
    const QJsonObject expected{{"name", QJsonValue::Null},
                               {"target", peer.slavePath()},
                               {"address", address},
                               {"sent", QString::fromLatin1(wire)},
                               {"reply", jsonValue(replyJson)},
                               {"decoded", jsonValue(decoded)},
                               {"ok", true},
                               {"error", QJsonValue::Null}};
    QVERIFY(json.out.endsWith(QLatin1Char('\n')) && json.out.count(QLatin1Char('\n')) == 1);
    QCOMPARE(QJsonDocument::fromJson(json.out.toUtf8()).object(), expected);
}

void TestCtlProcess::consoleSettingsChooseThePort_data() {
    QTest::addColumn<QString>("comPort");
    QTest::addColumn<QString>("baudRate");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<int>("speed");

    QTest::newRow("all stored") << "9"
                                << "96"
                                << "A003" << QStringList{"status"} << QByteArray("A003CR0\r")
                                << int(B9600);
    QTest::newRow("stored 192, odd address")
        << "9.4"
        << "192"
        << "a003" << QStringList{"status"} << QByteArray("CR0\r") << int(B19200);
    QTest::newRow("COM9 named, baud stored")
        << "DATAC"
        << "96"
        << "AFFF" << QStringList{"--port", "COM9", "lamp"} << QByteArray("AFFFCR3\r") << int(B9600);
    QTest::newRow("flags win") << "9"
                               << "96"
                               << "A003"
                               << QStringList{"--baud", "19200", "--address", "single", "status"}
                               << QByteArray("CR0\r") << int(B19200);
}

void TestCtlProcess::consoleSettingsChooseThePort() {
    QFETCH(QString, comPort);
    QFETCH(QString, baudRate);
    QFETCH(QString, address);
    QFETCH(QStringList, args);
    QFETCH(QByteArray, wire);
    QFETCH(int, speed);

    PseudoTerminal peer;
    QVERIFY(peer.isValid());
    {
        QSettings console(m_dir->filePath(QStringLiteral("TAVO/TAVO.ini")), QSettings::IniFormat);
        console.setValue(QStringLiteral("Ports/COM9"), peer.slavePath());
        console.setValue(QStringLiteral("StartUP/ComPort"), comPort);
        console.setValue(QStringLiteral("StartUP/BaudRate"), baudRate);
        console.setValue(QStringLiteral("StartUP/ADRESS"), address);
    }
    QByteArray sent;
    CtlRun result;
    exchange(peer, args, QByteArray("00\r"), &sent, &result);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(sent, wire);
    QCOMPARE(result.status, 0);
    QCOMPARE(result.lineSpeed, speed);
}

void TestCtlProcess::exitStatus_data() {
    QTest::addColumn<QStringList>("sim");  // empty: no simulator
    QTest::addColumn<QStringList>("args"); // DEV stands for the simulator's device
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");

    const QString none;
    QTest::newRow("answers") << QStringList{"--address", "002"}
                             << QStringList{"--port", "DEV", "--baud", "9600", "status"} << 0
                             << "reply 8 0  [CR] | Stand by\n"
                             << none;
    QTest::newRow("its own address")
        << QStringList{"--address", "002"}
        << QStringList{"--port", "DEV", "--baud", "9600", "--address", "002", "lamp"} << 0
        << "Hour Use\n"
        << none;
    QTest::newRow("an address it ignores")
        << QStringList{"--address", "002"}
        << QStringList{"--port", "DEV", "--baud", "9600", "--address", "003", "status"} << 1
        << "reply X X X X | no reply\n"
        << none;
    QTest::newRow("silent") << QStringList{"--silent"}
                            << QStringList{"--port",    "DEV", "--baud", "9600",
                                           "--timeout", "300", "--json", "status"}
                            << 1
                            << "\"decoded\":null,\"error\":\"no reply\",\"name\":null,\"ok\":false,"
                               "\"reply\":\"\",\"sent\":\"CR0\\r\""
                            << none;
    QTest::newRow("registered as COM7") << QStringList{"--register", "7"}
                                        << QStringList{"--port", "com7", "--baud", "9600", "input"}
                                        << 0 << "| com7 | single |" << none;
    QTest::newRow("missing device")
        << QStringList{} << QStringList{"--port", "/dev/tty-no-such-device", "status"} << 3
        << "failed: Retry Comport: "
        << "/dev/tty-no-such-device: Retry Comport: ";
    QTest::newRow("not a serial device")
        << QStringList{} << QStringList{"--port", "/dev/null", "status"} << 3 << "failed: "
        << "Retry Comport: ";
    QTest::newRow("nobody listening")
        << QStringList{} << QStringList{"--port", "tcp://127.0.0.1:1", "status"} << 3
        << "failed: Retry Comport: "
        << "Retry Comport: ";
    QTest::newRow("usage") << QStringList{} << QStringList{"--port", "COM1", "staus"} << 2 << none
                           << "unknown command";
    QTest::newRow("missing site") << QStringList{}
                                  << QStringList{"--site", "/nonexistent/site.ini", "--all",
                                                 "status"}
                                  << 2 << none << "does not exist";
    QTest::newRow("site file is a link loop")
        << QStringList{} << QStringList{"--site", "LOOP", "--all", "status"} << 2 << none
        << "LOOP: is a symbolic link loop\n";
    QTest::newRow("device path is a link loop")
        << QStringList{} << QStringList{"--port", "LOOP", "status"} << 3 << "failed: "
        << "LOOP could not be opened. It is a symbolic link loop.";
    QTest::newRow("unclosed quote: one line, nothing sent")
        << QStringList{} << QStringList{"--site", "QUOTE", "--all", "power", "off"} << 2 << none
        << "QUOTE:2: the quote that opens the value of \"port\" is not closed\n";
    QTest::newRow("site file is garbage")
        << QStringList{} << QStringList{"--site", MX7300_SIM_PATH, "--all", "status"} << 2 << none
        << "mx7300-ctl: site file";
    QTest::newRow("a second command inside the text")
        << QStringList{} << QStringList{"--port", "COM1", "--address", "002", "send", "C00\rC01"}
        << 2 << none << "CR (0x0D) at position 4";
    QTest::newRow("a line feed inside the text")
        << QStringList{} << QStringList{"--port", "COM1", "send", "C00\nC01"} << 2 << none
        << "LF (0x0A) at position 4";
    QTest::newRow("an escape inside the text")
        << QStringList{} << QStringList{"--port", "COM1", "send", "C0\x1b"} << 2 << none
        << "ESC (0x1B) at position 3";
    QTest::newRow("beyond Latin-1")
        << QStringList{} << QStringList{"--port", "COM1", "send", QString::fromUtf8("C\u4e00")} << 2
        << none << "Latin-1";
}

void TestCtlProcess::exitStatus() {
    QFETCH(QStringList, sim);
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);

    Simulators sims(m_env);
    if (!sim.isEmpty()) {
        const QString device = sims.start(sim);
        QVERIFY(!device.isEmpty());
        args.replaceInStrings(QStringLiteral("DEV"), device);
    }
    const QString loop = m_dir->filePath(QStringLiteral("loop"));
    QVERIFY(QFile::link(loop + QLatin1Char('2'), loop));
    QVERIFY(QFile::link(loop, loop + QLatin1Char('2')));
    args.replaceInStrings(QStringLiteral("LOOP"), loop);
    err.replace(QStringLiteral("LOOP"), loop);
    const QString quote = writeFile(QStringLiteral("quote.ini"), "[a]\nport=\"/dev/null\n");
    args.replaceInStrings(QStringLiteral("QUOTE"), quote);
    err.replace(QStringLiteral("QUOTE"), quote);
    const CtlRun result = run(args);
    QCOMPARE(result.status, status);
    QVERIFY2(result.out.contains(out), qPrintable(result.out));
    QVERIFY2(result.err.contains(err), qPrintable(result.err));
    if (status == 2) {
        QVERIFY(result.out.isEmpty());
        QCOMPARE(result.err.count(QLatin1Char('\n')), 1);
    }
}

void TestCtlProcess::networkPort_data() {
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<QString>("accepter");
    QTest::addColumn<QString>("baud");
    QTest::addColumn<int>("speed"); // of the far serial line while connected

    QTest::newRow("raw TCP") << "tcp"
                             << "tcp"
                             << "9600" << int(B9600);
    QTest::newRow("RFC 2217 at 19200") << "rfc2217"
                                       << "telnet(rfc2217),tcp"
                                       << "19200" << int(B19200);
    QTest::newRow("RFC 2217 at 9600") << "rfc2217"
                                      << "telnet(rfc2217),tcp"
                                      << "9600" << int(B9600);
}

void TestCtlProcess::networkPort() {
    QFETCH(QString, scheme);
    QFETCH(QString, accepter);
    QFETCH(QString, baud);
    QFETCH(int, speed);
    if (!Ser2net::available())
        QSKIP("ser2net is not installed (setup.sh installs it)");

    PseudoTerminal peer;
    QVERIFY(peer.isValid());
    Ser2net server;
    const quint16 port = server.serve(accepter, peer.slavePath());
    QVERIFY(port != 0);
    QVERIFY(server.start(m_dir->path()));
    peer.readAvailable(); // whatever the readiness probes left

    const QString target = QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(port);
    QByteArray sent;
    CtlRun result;
    exchange(peer, {"--port", target, "--baud", baud, "--address", "004", "--json", "status"},
             QByteArray("20\r"), &sent, &result);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(sent, QByteArray("A004CR0\r"));
    QCOMPARE(result.lineSpeed, speed);
    QCOMPARE(result.status, 0);
    const QJsonObject expected{{"name", QJsonValue::Null},
                               {"target", target},
                               {"address", "004"},
                               {"sent", "A004CR0\r"},
                               {"reply", "20\r"},
                               {"decoded", "Cooling down"},
                               {"ok", true},
                               {"error", QJsonValue::Null}};
    QCOMPARE(QJsonDocument::fromJson(result.out.toUtf8()).object(), expected);
}

void TestCtlProcess::waitReady_data() {
    QTest::addColumn<QString>("warmupSeconds"); // simulated, at ten times real time
    QTest::addColumn<QString>("limitSeconds");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");

    QTest::newRow("ready after the warm-up") << "25"
                                             << "30" << 0 << "reply 0 0  [CR] | Power ON\n";
    QTest::newRow("still warming up")
        << "600"
        << "2" << 1 << "reply 4 0  [CR] | Count down | not ready within 2 s\n";
}

void TestCtlProcess::waitReady() {
    QFETCH(QString, warmupSeconds);
    QFETCH(QString, limitSeconds);
    QFETCH(int, status);
    QFETCH(QString, out);

    Simulators sims(m_env);
    const QString device = sims.start({"--warmup", warmupSeconds, "--time-scale", "10"});
    QVERIFY(!device.isEmpty());
    const QStringList port{"--port", device, "--baud", "9600"};
    QCOMPARE(run(port + QStringList{"power", "on"}).status, 0);
    const CtlRun during = run(port + QStringList{"status"});
    QVERIFY2(during.out.endsWith(QLatin1String("| Count down\n")), qPrintable(during.out));

    const CtlRun waited = run(port + QStringList{"wait-ready", limitSeconds});
    QCOMPARE(waited.status, status);
    QVERIFY2(waited.out.endsWith(out), qPrintable(waited.out));
}

void TestCtlProcess::siteOfEight() {
    Simulators sims(m_env);
    const QString first = sims.start({"--address", "001"});
    const QString second = sims.start({"--address", "002"});
    const QString third = sims.start({});
    const QString fourth = sims.start({"--baud", "19200"});
    const QString silent = sims.start({"--silent"});
    for (const QString& device : {first, second, third, fourth, silent})
        QVERIFY(!device.isEmpty());

    // Three projectors on the first line (one at an address nobody answers),
    // two on the second, one silent line.
    const QByteArray site =
        QStringLiteral("[s1]\nport=%1\n[s2]\nport=%1\naddress=001\n"
                       "[s3]\nport=%2\naddress=all\n[s4]\nport=%2\naddress=002\n"
                       "[s5]\nport=%3\nroom=Lab 1\n[s6]\nport=%4\nbaud=19200\n"
                       "[s7]\nport=%1\naddress=004\n[s8]\nport=%5\n"
                       "[broken]\nport=/dev/tty-no-such-device\n")
            .arg(first, second, third, fourth, silent)
            .toUtf8();
    const QString sitePath = writeFile(QStringLiteral("site.ini"), site);
    const int timeoutMs = 1500;
    const QStringList common{"--site", sitePath,    "--baud",
                             "9600",   "--timeout", QString::number(timeoutMs)};
    const QStringList eight{"s1", "s2", "s3", "s4", "s5", "s6", "s7", "s8"};

    const CtlRun json = run(common + eight + QStringList{"--json", "status"});
    QCOMPARE(json.status, 1);
    QCOMPARE(json.err, QStringLiteral("6 ok, 2 no reply, 0 failed\n"));
    const QStringList lines = json.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 8);
    QStringList okNames;
    QStringList silentNames;
    for (const QString& line : lines) {
        const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
        QVERIFY2(!object.isEmpty(), qPrintable(line));
        (object.value(QStringLiteral("ok")).toBool() ? okNames : silentNames)
            << object.value(QStringLiteral("name")).toString();
        if (object.value(QStringLiteral("ok")).toBool())
            QCOMPARE(object.value(QStringLiteral("decoded")).toString(),
                     QStringLiteral("Stand by"));
    }
    QCOMPARE(okNames, (QStringList{"s1", "s2", "s3", "s4", "s5", "s6"}));
    QCOMPARE(silentNames, (QStringList{"s7", "s8"}));
    // Two time-outs, one on the shared first line and one on the silent line:
    // a run that took them one after the other could not finish in less.
    QVERIFY2(json.ms < 2 * timeoutMs, qPrintable(QString::number(json.ms)));

    const CtlRun human = run(common + QStringList{"broken", "s5", "s3", "status"});
    QCOMPARE(human.status, 3);
    const QStringList humanLines = human.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(humanLines.size(), 4);
    QVERIFY2(humanLines[0].startsWith(QLatin1String(
                 "broken | /dev/tty-no-such-device | single | failed: Retry Comport: ")),
             qPrintable(humanLines[0]));
    QCOMPARE(humanLines[1],
             QStringLiteral("s5 | %1 | single | sent C R 0  [CR] | reply 8 0  [CR] | Stand by")
                 .arg(third));
    QVERIFY(humanLines[2].startsWith(QLatin1String("s3 | ")));
    QCOMPARE(humanLines[3], QStringLiteral("2 ok, 0 no reply, 1 failed"));
    QVERIFY2(human.err.startsWith(QLatin1String("mx7300-ctl: broken: Retry Comport: ")),
             qPrintable(human.err));
}

// A device server that never takes up RFC 2217 while a signal comes, and one that drops the
// connection as soon as a command arrives, with a good projector beside it.
void TestCtlProcess::runsThatEndEarly_data() {
    QTest::addColumn<QString>("peer"); // silent | hangs-up
    QTest::addColumn<int>("signal");   // sent once the peer has its connection; 0: none
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("SIGTERM while an open waits")
        << "silent" << SIGTERM << 128 + SIGTERM
        << QStringList{"peer | rfc2217://HOST | single | not tried: stopped by signal 15",
                       "0 ok, 0 no reply, 0 failed, 1 not tried"};
    QTest::newRow("SIGINT while an open waits")
        << "silent" << SIGINT << 128 + SIGINT
        << QStringList{"peer | rfc2217://HOST | single | not tried: stopped by signal 2",
                       "0 ok, 0 no reply, 0 failed, 1 not tried"};
    QTest::newRow("the server drops the line mid-exchange")
        << "hangs-up" << 0 << 4
        << QStringList{"peer | tcp://HOST | single | sent C R 0  [CR] | reply X X X X | link lost: "
                       "tcp://HOST went away",
                       "good | DEV | single | sent C R 0  [CR] | reply 8 0  [CR] | Stand by",
                       "1 ok, 0 no reply, 0 failed, 1 link lost"};
}

void TestCtlProcess::runsThatEndEarly() {
    QFETCH(QString, peer);
    QFETCH(int, signal);
    QFETCH(int, status);
    QFETCH(QStringList, lines);

    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    QList<QTcpSocket*> held;
    connect(&server, &QTcpServer::newConnection, &server, [&] {
        QTcpSocket* socket = server.nextPendingConnection();
        held << socket;
        if (peer == QLatin1String("hangs-up"))
            connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->abort(); });
    });
    const QString host = QStringLiteral("127.0.0.1:%1").arg(server.serverPort());
    const QString scheme = peer == QLatin1String("silent") ? "rfc2217" : "tcp";
    QString text = QStringLiteral("[peer]\nport=%1://%2\n").arg(scheme, host);
    Simulators sims(m_env);
    QString device;
    if (signal == 0) {
        device = sims.start({});
        QVERIFY(!device.isEmpty());
        text += QStringLiteral("[good]\nport=%1\nbaud=9600\n").arg(device);
    }
    const QString site = writeFile("early.ini", text.toUtf8());
    QProcess ctl;
    ctl.setProcessEnvironment(m_env);
    ctl.start(QStringLiteral(MX7300_CTL_PATH), {"--site", site, "--all", "status"});
    QTRY_VERIFY_WITH_TIMEOUT(!held.isEmpty(), 10000);
    if (signal != 0)
        ::kill(pid_t(ctl.processId()), signal);
    // The event loop runs meanwhile, so the device server acts.
    QTRY_COMPARE_WITH_TIMEOUT(ctl.state(), QProcess::NotRunning, 20000);
    const QString out = QString::fromUtf8(ctl.readAllStandardOutput());
    QVERIFY2(ctl.exitCode() == status, qPrintable(out));
    lines.replaceInStrings(QStringLiteral("HOST"), host);
    lines.replaceInStrings(QStringLiteral("DEV"), device);
    QCOMPARE(out.split(QLatin1Char('\n'), Qt::SkipEmptyParts), lines);
    qDeleteAll(held);
}

QTEST_GUILESS_MAIN(TestCtlProcess)
#include "tst_ctl_process.moc"
