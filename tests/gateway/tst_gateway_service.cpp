// mx7300-gateway as systemd runs it: refused starts with their exit status and one line, a
// refused second start that leaves the running gateway alone on a real broker, a stop asked for
// while it starts, and the notifications a Type=notify unit waits for.
#include "FreePorts.h"
#include "MosquittoBroker.h"

#include "MqttClient.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace tavo;

namespace {

const QString kGateway = QStringLiteral(MX7300_GATEWAY_PATH);

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& text) {
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
        return {};
    return path;
}

// A loopback port nobody listens on now.

struct Run {
    int status = -1; // -1: did not end by itself, or ended by a signal
    QByteArray err;
};

Run runToEnd(const QStringList& args, const QProcessEnvironment& env,
             const QString& program = kGateway) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    Run run;
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished(5000);
        return run;
    }
    run.err = p.readAllStandardError();
    run.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return run;
}

// A unix datagram socket standing in for systemd's notification socket.
class NotifySocket {
public:
    explicit NotifySocket(const QString& path) : m_path(path) {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        if (m_fd < 0 || size_t(name.size()) >= sizeof(address.sun_path))
            return;
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
        m_bound = ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    }
    ~NotifySocket() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool bound() const { return m_bound; }
    // Every message that has come, one entry each.
    const QList<QByteArray>& messages() {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::recv(m_fd, buffer, sizeof(buffer), 0);
            if (n < 0)
                break;
            m_messages << QByteArray(buffer, int(n));
        }
        return m_messages;
    }
    int count(const QByteArray& line) {
        int n = 0;
        for (const QByteArray& m : messages())
            n += m.split('\n').contains(line) ? 1 : 0;
        return n;
    }

private:
    QString m_path;
    int m_fd = -1;
    bool m_bound = false;
    QList<QByteArray> m_messages;
};

} // namespace

class TestGatewayService : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void refusedAlikeByCheckAndStart_data();
    void refusedAlikeByCheckAndStart();
    void secondStartLeavesTheFirstAlone();
    void stopWhileStarting_data();
    void stopWhileStarting();
    void tellsSystemd();

private:
    QTemporaryDir m_dir;
    QString m_site; // one projector on a port that never answers
};

void TestGatewayService::initTestCase() {
    QVERIFY(m_dir.isValid());
    m_site = writeFile(m_dir, QStringLiteral("north.ini"), "[a]\nport=/dev/null\n");
    QVERIFY(!m_site.isEmpty());
}

// --check reads everything a start reads; a refused start says the same and exits the same.
void TestGatewayService::refusedAlikeByCheckAndStart_data() {
    QTest::addColumn<QByteArray>("site"); // empty: north.ini
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("credential"); // a file in CREDENTIALS_DIRECTORY, set when given
    QTest::addColumn<int>("status");         // of --check, and of a start when not 0
    QTest::addColumn<QString>("line");       // a part of the one line on standard error

    const QByteArray north;
    QTest::newRow("PJLink inputs garbage")
        << QByteArray("[a]\nport=/dev/null\npjlink_inputs=garbage\n") << QStringList() << QString()
        << 2 << "bad.ini:3: [a]: pjlink_inputs";
    QTest::newRow("one pjlink_port twice")
        << QByteArray("[a]\nport=/dev/null\npjlink_port=5000\n[b]\nport=/dev/null\n"
                      "pjlink_port=5000\n")
        << QStringList() << QString() << 2 << "bad.ini:6: [b]: PJLink port 5000";
    QTest::newRow("PJLink range past 65535")
        << QByteArray("[a]\nport=/dev/null\n[b]\nport=/dev/null\n")
        << QStringList{"--pjlink", "127.0.0.1:65535"} << QString() << 2
        << "bad.ini:3: [b]: no PJLink port is left from 65535";
    QTest::newRow("one port, two baud rates")
        << QByteArray("[a]\nport=/dev/null\nbaud=9600\n[b]\nport=/dev/null\n") << QStringList()
        << QString() << 2 << "bad.ini:4: [b] is on /dev/null at a different baud rate";
    QTest::newRow("a name topics cannot carry")
        << QByteArray("[a]\nport=/dev/null\n[room/one]\nport=/dev/null\n") << QStringList()
        << QString() << 2 << "bad.ini:3: [room/one]: a projector's name is letters";
    QTest::newRow("a name with a final newline")
        << north << QStringList{"--name", "north\n"} << QString() << 2 << "the site name";
    QTest::newRow("a credential without CREDENTIALS_DIRECTORY")
        << north << QStringList{"--http-token-file", "token"} << QString() << 2
        << "--http-token-file token names a systemd credential";
    QTest::newRow("a credential missing from CREDENTIALS_DIRECTORY")
        << north << QStringList{"--mqtt", "mqtt://127.0.0.1:1", "--mqtt-password-file", "mqtt"}
        << "token" << 2 << "--mqtt-password-file: ";
    QTest::newRow("a token credential") << north << QStringList{"--http-token-file", "token"}
                                        << "token" << 0 << "site north, 1 projectors";
    QTest::newRow("a bad broker URL")
        << north << QStringList{"--mqtt", "http://x"} << QString() << 2 << "--mqtt: ";
}

void TestGatewayService::refusedAlikeByCheckAndStart() {
    QFETCH(QByteArray, site);
    QFETCH(QStringList, args);
    QFETCH(QString, credential);
    QFETCH(int, status);
    QFETCH(QString, line);

    const QString path =
        site.isEmpty() ? m_site : writeFile(m_dir, QStringLiteral("bad.ini"), site);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("CREDENTIALS_DIRECTORY"));
    QTemporaryDir credentials;
    if (!credential.isEmpty()) {
        QVERIFY(!writeFile(credentials, credential, "abcdefghijklmnopqrstuvwxyz\n").isEmpty());
        env.insert(QStringLiteral("CREDENTIALS_DIRECTORY"), credentials.path());
    }
    const QStringList base = QStringList{"--site", path} + args;

    const Run check = runToEnd(base + QStringList{"--check"}, env);
    QCOMPARE(check.status, status);
    const QByteArray checkText = status == 0 ? QByteArray() : check.err;
    if (status != 0) {
        QVERIFY2(checkText.contains(line.toUtf8()), checkText.constData());
        QCOMPARE(checkText.count('\n'), 1);
        // A start with a front refuses the same, in the same words, and takes no port.
        const Run start = runToEnd(base + QStringList{"--http", "127.0.0.1:0"}, env);
        QCOMPARE(start.status, status);
        QCOMPARE(start.err, checkText);
    }
    // A file refused for itself (no option in play): mx7300-ctl, reading it with the same
    // reader, refuses it from the same line in the same words.
    if (status == 2 && !site.isEmpty() && args.isEmpty()) {
        const Run ctl =
            runToEnd({"--site", path, "--all", "status"}, env, QStringLiteral(MX7300_CTL_PATH));
        QCOMPARE(ctl.status, 2);
        const qsizetype inCheck = checkText.indexOf(path.toUtf8());
        const qsizetype inCtl = ctl.err.indexOf(path.toUtf8());
        QVERIFY2(inCheck >= 0 && inCtl >= 0, ctl.err.constData());
        QCOMPARE(ctl.err.mid(inCtl), checkText.mid(inCheck));
    }
}

// A second start of a running site is refused at its listening port (exit 3) before it speaks
// to the broker: the first keeps its session, and no "offline" is left for the site.
void TestGatewayService::secondStartLeavesTheFirstAlone() {
    if (MosquittoBroker::executable().isEmpty())
        QFAIL("mosquitto is not installed (apt-get install mosquitto)");
    MosquittoBroker broker;
    QString error;
    QVERIFY2(broker.start(&error), qPrintable(error));
    MqttOptions options;
    options.host = QStringLiteral("127.0.0.1");
    options.port = broker.port();
    MqttClient sub(options);
    QList<QByteArray> availability;
    const QString topic = QStringLiteral("tavo/north/gateway/availability");
    QObject::connect(&sub, &MqttClient::messageReceived, &sub,
                     [&](const QString& t, const QByteArray& payload, bool) {
                         if (t == topic)
                             availability << payload;
                     });
    sub.subscribe(topic);
    sub.start();
    QTRY_VERIFY_WITH_TIMEOUT(sub.isConnected(), 5000);

    const quint16 http = freePort();
    QVERIFY(http != 0);
    const QStringList args{"--site", m_site,
                           "--mqtt", QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port()),
                           "--http", QStringLiteral("127.0.0.1:%1").arg(http)};
    QProcess first;
    first.start(kGateway, args);
    QVERIFY(first.waitForStarted(5000));
    QTRY_COMPARE_WITH_TIMEOUT(availability, QList<QByteArray>{"online"}, 10000);

    const Run second = runToEnd(args, QProcessEnvironment::systemEnvironment());
    QCOMPARE(second.status, 3);
    QVERIFY2(second.err.contains("--http: "), second.err.constData());
    // Whatever the broker would do to the first session comes within a moment of the second
    // start; the first is still running and the site was never "offline".
    QTest::qWait(1500);
    QCOMPARE(first.state(), QProcess::Running);
    QCOMPARE(availability, QList<QByteArray>{"online"});
    const QByteArray firstLog = first.readAllStandardError();
    QVERIFY2(!firstLog.contains("broker: disconnected"), firstLog.constData());

    first.terminate();
    QVERIFY(first.waitForFinished(10000));
    QCOMPARE(first.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(availability.value(availability.size() - 1), QByteArray("offline"),
                              5000);
}

// A stop asked for before the gateway is up (here: already waiting when it starts, held back by
// the blocked mask it inherits) is the same clean stop as later, never a death by the signal.
void TestGatewayService::stopWhileStarting_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGTERM again") << SIGTERM;
    QTest::newRow("SIGTERM a third time") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP") << SIGHUP;
}

void TestGatewayService::stopWhileStarting() {
    QFETCH(int, signal);
    QProcess gateway;
    gateway.setChildProcessModifier([] {
        sigset_t blocked;
        sigemptyset(&blocked);
        sigaddset(&blocked, SIGTERM);
        sigaddset(&blocked, SIGINT);
        sigaddset(&blocked, SIGHUP);
        ::sigprocmask(SIG_BLOCK, &blocked, nullptr);
    });
    gateway.start(kGateway, {"--site", m_site, "--http", "127.0.0.1:0"});
    QVERIFY(gateway.waitForStarted(5000));
    QCOMPARE(::kill(pid_t(gateway.processId()), signal), 0);
    if (signal == SIGHUP) { // not a stop: the site file is read again once the gateway is up
        QByteArray log;
        QTRY_VERIFY_WITH_TIMEOUT(
            (log += gateway.readAllStandardError()).contains("reload: site north: added none"),
            10000);
        QCOMPARE(gateway.state(), QProcess::Running);
        gateway.terminate();
    }
    QVERIFY(gateway.waitForFinished(10000));
    QCOMPARE(gateway.exitStatus(), QProcess::NormalExit);
    QCOMPARE(gateway.exitCode(), 0);
    QVERIFY(gateway.readAllStandardError().contains("stopping (signal"));
}

// READY=1 once the listening port is taken, WATCHDOG=1 from the event loop at half of
// WATCHDOG_USEC, RELOADING=1 and READY=1 around a reload, STOPPING=1 on a stop.
void TestGatewayService::tellsSystemd() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    NotifySocket systemd(dir.filePath(QStringLiteral("notify")));
    QVERIFY(systemd.bound());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("NOTIFY_SOCKET"), dir.filePath(QStringLiteral("notify")));
    env.insert(QStringLiteral("WATCHDOG_USEC"), QStringLiteral("200000"));
    env.remove(QStringLiteral("WATCHDOG_PID"));
    QProcess gateway;
    gateway.setProcessEnvironment(env);
    gateway.start(kGateway, {"--site", m_site, "--http", "127.0.0.1:0"});
    QVERIFY(gateway.waitForStarted(5000));

    QTRY_COMPARE_WITH_TIMEOUT(systemd.count("READY=1"), 1, 10000);
    QVERIFY(systemd.messages().first().startsWith("READY=1\nSTATUS=site north"));
    QByteArray log;
    QTRY_VERIFY_WITH_TIMEOUT((log += gateway.readAllStandardError()).contains("http: listening on"),
                             5000);
    QTRY_VERIFY_WITH_TIMEOUT(systemd.count("WATCHDOG=1") >= 2, 10000);
    QCOMPARE(systemd.count("STOPPING=1"), 0);
    // A reload: RELOADING=1, then READY=1 again.
    QCOMPARE(::kill(pid_t(gateway.processId()), SIGHUP), 0);
    QTRY_COMPARE_WITH_TIMEOUT(systemd.count("READY=1"), 2, 10000);
    QCOMPARE(systemd.count("RELOADING=1"), 1);
    QList<qsizetype> order; // of the READY=1 and RELOADING=1 messages
    const QList<QByteArray> told = systemd.messages();
    for (qsizetype i = 0; i < told.size(); ++i)
        if (told[i].startsWith("READY=1") || told[i].startsWith("RELOADING=1\nMONOTONIC_USEC="))
            order << (told[i].startsWith("READY=1") ? 1 : 2);
    QCOMPARE(order, (QList<qsizetype>{1, 2, 1}));

    gateway.terminate();
    QVERIFY(gateway.waitForFinished(10000));
    QCOMPARE(gateway.exitCode(), 0);
    QCOMPARE(systemd.count("STOPPING=1"), 1);
    QCOMPARE(systemd.count("READY=1"), 2);
}

QTEST_GUILESS_MAIN(TestGatewayService)
#include "tst_gateway_service.moc"
