#include "MosquittoBroker.h"

#include "MqttClient.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

using namespace tavo;

namespace {

// Descriptors held open so that the next one the process opens is numbered `next` or above, as
// on a gateway holding a few thousand lines; none when the limit does not allow that many.
struct HeldDescriptors {
    explicit HeldDescriptors(int next) {
        rlimit limit{};
        if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_max < rlim_t(next + 64))
            return;
        limit.rlim_cur = std::max<rlim_t>(limit.rlim_cur, rlim_t(next + 64));
        ::setrlimit(RLIMIT_NOFILE, &limit);
        for (int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC); fd >= 0 && fd < next;
             fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC))
            fds.push_back(fd);
    }
    ~HeldDescriptors() {
        for (int fd : fds)
            ::close(fd);
    }
    std::vector<int> fds;
};

MqttOptions localOptions(quint16 port) {
    MqttOptions options;
    options.host = QStringLiteral("127.0.0.1");
    options.port = port;
    return options;
}

QString tool(const char* name) {
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

// What a fresh subscriber gets first on `topic` within five seconds, as
// "RETAIN-FLAG PAYLOAD" ("1 online"), or empty.
QByteArray firstSeenBy(quint16 port, const QString& topic) {
    QProcess sub;
    sub.start(tool("mosquitto_sub"),
              {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
               QString::number(port), QStringLiteral("-t"), topic, QStringLiteral("-C"),
               QStringLiteral("1"), QStringLiteral("-W"), QStringLiteral("5"), QStringLiteral("-F"),
               QStringLiteral("%r %p")});
    sub.waitForFinished(10000);
    return sub.readAllStandardOutput().trimmed();
}

bool publishBy(quint16 port, const QString& topic, const QByteArray& payload, bool retain) {
    QStringList args{QStringLiteral("-h"), QStringLiteral("127.0.0.1"),
                     QStringLiteral("-p"), QString::number(port),
                     QStringLiteral("-q"), QStringLiteral("1"),
                     QStringLiteral("-t"), topic,
                     QStringLiteral("-m"), QString::fromUtf8(payload)};
    if (retain)
        args << QStringLiteral("-r");
    QProcess pub;
    pub.start(tool("mosquitto_pub"), args);
    return pub.waitForFinished(10000) && pub.exitCode() == 0;
}

// The messages a client saw, in order, as "topic=payload" with "(r)" after
// retained ones.
struct Seen {
    explicit Seen(MqttClient& client) {
        QObject::connect(&client, &MqttClient::messageReceived, &client,
                         [this](const QString& topic, const QByteArray& payload, bool retained) {
                             lines << topic + QLatin1Char('=') + QString::fromUtf8(payload) +
                                          (retained ? QStringLiteral("(r)") : QString());
                         });
    }
    QStringList lines;
};

// A test authority and a broker certificate for "localhost" only, readable
// by the broker's own user. Empty on success, else what went wrong.
QString makeCertificates(const QTemporaryDir& dir) {
    const QStringList ecKey{
        QStringLiteral("-newkey"),  QStringLiteral("ec"),
        QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
        QStringLiteral("-nodes"),   QStringLiteral("-days"),
        QStringLiteral("2")};
    const QList<QStringList> steps{
        QStringList{QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-keyout"),
                    dir.filePath(QStringLiteral("ca.key")), QStringLiteral("-out"),
                    dir.filePath(QStringLiteral("ca.crt")), QStringLiteral("-subj"),
                    QStringLiteral("/CN=test-ca")} +
            ecKey,
        QStringList{QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-CA"),
                    dir.filePath(QStringLiteral("ca.crt")), QStringLiteral("-CAkey"),
                    dir.filePath(QStringLiteral("ca.key")), QStringLiteral("-keyout"),
                    dir.filePath(QStringLiteral("broker.key")), QStringLiteral("-out"),
                    dir.filePath(QStringLiteral("broker.crt")), QStringLiteral("-subj"),
                    QStringLiteral("/CN=localhost"), QStringLiteral("-addext"),
                    QStringLiteral("subjectAltName=DNS:localhost")} +
            ecKey};
    for (const QStringList& args : steps) {
        QProcess openssl;
        openssl.setProcessChannelMode(QProcess::MergedChannels);
        openssl.start(tool("openssl"), args);
        if (!openssl.waitForFinished(20000) || openssl.exitCode() != 0)
            return QString::fromUtf8(openssl.readAll());
    }
    const auto readable = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                          QFileDevice::ReadGroup | QFileDevice::ReadOther;
    QFile::setPermissions(dir.path(), readable | QFileDevice::ExeOwner | QFileDevice::ExeGroup |
                                          QFileDevice::ExeOther);
    QFile::setPermissions(dir.filePath(QStringLiteral("broker.key")), readable);
    return {};
}

// A port that takes no connection: a listener with a backlog of one that
// two connections of our own already fill, so the kernel drops further SYNs
// and a connect() there waits for minutes.
class UnansweringPort {
public:
    explicit UnansweringPort(quint16 port) {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        m_ok = ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
               ::listen(m_listener, 0) == 0;
        for (int& filler : m_fillers) {
            filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
        }
    }
    ~UnansweringPort() { close(); }
    bool ok() const { return m_ok; }
    void close() {
        for (int& fd : m_fillers)
            if (fd >= 0)
                ::close(std::exchange(fd, -1));
        if (m_listener >= 0)
            ::close(std::exchange(m_listener, -1));
    }

private:
    int m_listener = -1;
    int m_fillers[2] = {-1, -1};
    bool m_ok = false;
};

} // namespace

class TestMqttClient : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void retainedReachesLaterSubscriber_data();
    void retainedReachesLaterSubscriber();
    void subscriptionReceives_data();
    void subscriptionReceives();
    void cleanStopLeavesFinalNotWill();
    void killedProcessLeavesWill();
    void brokerRestartReconnectsWithBackoff();
    void brokerAbsentAtStart_data();
    void brokerAbsentAtStart();
    void tlsChecksBrokerName_data();
    void tlsChecksBrokerName();

private:
    std::unique_ptr<MosquittoBroker> m_broker;
};

void TestMqttClient::initTestCase() {
    if (MosquittoBroker::executable().isEmpty() || tool("mosquitto_sub").isEmpty() ||
        tool("mosquitto_pub").isEmpty())
        QSKIP("mosquitto and mosquitto-clients are not installed");
}

void TestMqttClient::init() {
    m_broker = std::make_unique<MosquittoBroker>();
}

void TestMqttClient::cleanup() {
    m_broker.reset();
}

void TestMqttClient::retainedReachesLaterSubscriber_data() {
    QTest::addColumn<int>("socketAtLeast");
    QTest::newRow("few descriptors open") << 0;
    // select() cannot wait on a descriptor numbered 1024 or above.
    QTest::newRow("its socket numbered above 1024") << 1100;
}

void TestMqttClient::retainedReachesLaterSubscriber() {
    QFETCH(int, socketAtLeast);
    QString error;
    QVERIFY2(m_broker->start(&error), qPrintable(error));
    const HeldDescriptors held(socketAtLeast);
    if (socketAtLeast > 0 && held.fds.empty())
        QSKIP("the open-files limit is too low to push the socket past 1024");
    MqttClient client(localOptions(m_broker->port()));
    Seen seen(client);
    QSignalSpy connected(&client, &MqttClient::connected);
    QVERIFY(!client.publish(QStringLiteral("gw/a/state"), "early", true));
    client.subscribe(QStringLiteral("gw/a/#"));
    client.start();
    QTRY_COMPARE(connected.count(), 1);
    QVERIFY(client.isConnected());
    QVERIFY(client.publish(QStringLiteral("gw/a/state"), "on", true));
    // Its own copy back means the broker has stored it.
    QTRY_COMPARE(seen.lines, QStringList{QStringLiteral("gw/a/state=on")});
    QCOMPARE(firstSeenBy(m_broker->port(), QStringLiteral("gw/a/state")), QByteArray("1 on"));
}

void TestMqttClient::subscriptionReceives_data() {
    QTest::addColumn<bool>("beforeStart");
    QTest::newRow("subscribed before start") << true;
    QTest::newRow("subscribed while connected") << false;
}

void TestMqttClient::subscriptionReceives() {
    QFETCH(bool, beforeStart);
    QString error;
    QVERIFY2(m_broker->start(&error), qPrintable(error));
    const quint16 port = m_broker->port();
    QVERIFY(publishBy(port, QStringLiteral("gw/cmd/power"), "stored", true));
    MqttClient client(localOptions(port));
    Seen seen(client);
    QSignalSpy connected(&client, &MqttClient::connected);
    if (beforeStart)
        client.subscribe(QStringLiteral("gw/cmd/#"));
    client.start();
    QTRY_COMPARE(connected.count(), 1);
    if (!beforeStart)
        client.subscribe(QStringLiteral("gw/cmd/#"));
    // The retained one shows the subscription stands before the live ones go.
    QTRY_COMPARE(seen.lines, QStringList{QStringLiteral("gw/cmd/power=stored(r)")});
    QVERIFY(publishBy(port, QStringLiteral("gw/other"), "not for us", false));
    QVERIFY(publishBy(port, QStringLiteral("gw/cmd/input"), "hdmi", false));
    QTRY_COMPARE(seen.lines.size(), 2);
    QCOMPARE(seen.lines.last(), QStringLiteral("gw/cmd/input=hdmi"));
}

void TestMqttClient::cleanStopLeavesFinalNotWill() {
    QString error;
    QVERIFY2(m_broker->start(&error), qPrintable(error));
    const quint16 port = m_broker->port();
    MqttClient watcher(localOptions(port));
    Seen watched(watcher);
    QSignalSpy watcherUp(&watcher, &MqttClient::connected);
    watcher.subscribe(QStringLiteral("gw/s/#"));
    watcher.start();
    QTRY_COMPARE(watcherUp.count(), 1);

    MqttOptions options = localOptions(port);
    options.willTopic = QStringLiteral("gw/s/status");
    options.willPayload = "lost";
    auto client = std::make_unique<MqttClient>(options);
    QSignalSpy connected(client.get(), &MqttClient::connected);
    QSignalSpy stopped(client.get(), &MqttClient::stopped);
    client->start();
    QTRY_COMPARE(connected.count(), 1);
    QVERIFY(client->publish(QStringLiteral("gw/s/status"), "online", true));
    client->stopWith(QStringLiteral("gw/s/status"), "offline");
    QVERIFY(!client->publish(QStringLiteral("gw/s/status"), "after stop", true));
    QTRY_COMPARE(stopped.count(), 1);
    QVERIFY(!client->isConnected());
    client.reset();

    // A will would have come by the time a marker sent afterwards arrives.
    QVERIFY(publishBy(port, QStringLiteral("gw/s/marker"), "end", false));
    QTRY_VERIFY(watched.lines.contains(QStringLiteral("gw/s/marker=end")));
    QCOMPARE(watched.lines, (QStringList{QStringLiteral("gw/s/status=online"),
                                         QStringLiteral("gw/s/status=offline"),
                                         QStringLiteral("gw/s/marker=end")}));
    QCOMPARE(firstSeenBy(port, QStringLiteral("gw/s/status")), QByteArray("1 offline"));
}

void TestMqttClient::killedProcessLeavesWill() {
    QString error;
    QVERIFY2(m_broker->start(&error), qPrintable(error));
    QProcess helper;
    helper.start(
        QStringLiteral(MQTT_WILL_CLIENT_PATH),
        {QString::number(m_broker->port()), QStringLiteral("gw/k/status"), QStringLiteral("lost")});
    QVERIFY(helper.waitForStarted());
    QByteArray said;
    QTRY_VERIFY((said += helper.readAllStandardOutput()).contains("connected"));
    helper.kill();
    QVERIFY(helper.waitForFinished());
    QCOMPARE(firstSeenBy(m_broker->port(), QStringLiteral("gw/k/status")), QByteArray("1 lost"));
}

void TestMqttClient::brokerRestartReconnectsWithBackoff() {
    QString error;
    QVERIFY2(m_broker->start(&error), qPrintable(error));
    const quint16 port = m_broker->port();
    MqttClient client(localOptions(port));
    Seen seen(client);
    QSignalSpy connected(&client, &MqttClient::connected);
    QSignalSpy disconnected(&client, &MqttClient::disconnected);
    client.subscribe(QStringLiteral("gw/r/cmd"));
    client.start();
    QTRY_COMPARE(connected.count(), 1);

    m_broker->kill();
    QTRY_COMPARE(disconnected.count(), 1);
    QVERIFY(!client.isConnected());
    // While it is down, something answers on its port and hangs up at once:
    // count the attempts and the pauses between them.
    QTcpServer stand_in;
    QVERIFY(stand_in.listen(QHostAddress::LocalHost, port));
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> attempts;
    connect(&stand_in, &QTcpServer::newConnection, this, [&] {
        while (QTcpSocket* socket = stand_in.nextPendingConnection()) {
            attempts.push_back(clock.elapsed());
            socket->abort();
            socket->deleteLater();
        }
    });
    QTRY_VERIFY_WITH_TIMEOUT(attempts.size() >= 3, 20000);
    // Pauses of 1 s and then 2 s, with room for a busy machine's jitter.
    QVERIFY2(attempts[1] - attempts[0] >= 750, qPrintable(QString::number(attempts[1])));
    QVERIFY2(attempts[2] - attempts[1] >= 1500, qPrintable(QString::number(attempts[2])));
    stand_in.close();

    QVERIFY2(m_broker->start(&error), qPrintable(error));
    QVERIFY(publishBy(port, QStringLiteral("gw/r/cmd"), "on", true));
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 2, 20000);
    // Only a renewed subscription brings it.
    QTRY_COMPARE(seen.lines, QStringList{QStringLiteral("gw/r/cmd=on(r)")});
}

void TestMqttClient::brokerAbsentAtStart_data() {
    QTest::addColumn<bool>("unanswering");
    QTest::newRow("nothing listens") << false;
    QTest::newRow("listener never answers") << true;
}

void TestMqttClient::brokerAbsentAtStart() {
    QFETCH(bool, unanswering);
    std::optional<UnansweringPort> blackHole;
    if (unanswering)
        QVERIFY(blackHole.emplace(m_broker->port()).ok());
    MqttClient client(localOptions(m_broker->port()));
    QSignalSpy connected(&client, &MqttClient::connected);
    QSignalSpy failed(&client, &MqttClient::connectionFailed);
    QElapsedTimer clock;
    clock.start();
    client.start();
    // A connect on this thread would wait for minutes on the silent port.
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!client.isConnected());
    if (!unanswering)
        QTRY_VERIFY(failed.count() >= 1);
    blackHole.reset();

    QString error;
    QVERIFY2(m_broker->start(&error), qPrintable(error));
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 20000);
    QVERIFY(client.isConnected());
}

void TestMqttClient::tlsChecksBrokerName_data() {
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("the name on the certificate") << "localhost" << true;
    QTest::newRow("an address not on it") << "127.0.0.1" << false;
}

void TestMqttClient::tlsChecksBrokerName() {
    QFETCH(QString, host);
    QFETCH(bool, accepted);
    if (tool("openssl").isEmpty())
        QSKIP("openssl is not installed");
    QTemporaryDir dir;
    const QString made = makeCertificates(dir);
    QVERIFY2(made.isEmpty(), qPrintable(made));
    m_broker->useTls(dir.filePath(QStringLiteral("broker.crt")),
                     dir.filePath(QStringLiteral("broker.key")));
    QString error;
    QVERIFY2(m_broker->start(&error), qPrintable(error));
    MqttOptions options = localOptions(m_broker->port());
    options.host = host;
    options.tls = true;
    options.caFile = dir.filePath(QStringLiteral("ca.crt"));
    MqttClient client(options);
    QSignalSpy connected(&client, &MqttClient::connected);
    QSignalSpy failed(&client, &MqttClient::connectionFailed);
    client.start();
    if (accepted) {
        QTRY_COMPARE(connected.count(), 1);
    } else {
        QTRY_VERIFY(failed.count() >= 1);
        const QString reason = failed.first().first().toString();
        QVERIFY2(reason.contains(QStringLiteral("TLS")), qPrintable(reason));
        QCOMPARE(connected.count(), 0);
    }
}

QTEST_GUILESS_MAIN(TestMqttClient)
#include "tst_mqtt_client.moc"
