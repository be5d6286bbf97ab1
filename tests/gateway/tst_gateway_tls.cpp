// mx7300-gateway with TLS, as an operator sets it up: a certificate authority made here with
// openssl, HTTPS on the HTTP front, a client certificate for a mosquitto that asks for one, and
// the start-up checks of certificates and keys.
#include "MosquittoBroker.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kGateway = QStringLiteral(MX7300_GATEWAY_PATH);

QString openssl() {
    return QStandardPaths::findExecutable(QStringLiteral("openssl"));
}

// ca.crt; server.crt for localhost and 127.0.0.1; client.crt; other.key (RSA, no one's key).
QString makeCertificates(const QTemporaryDir& dir) {
    const auto at = [&dir](const char* name) { return dir.filePath(QLatin1String(name)); };
    const QStringList ec{QStringLiteral("-newkey"),  QStringLiteral("ec"),
                         QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:P-256"),
                         QStringLiteral("-nodes"),   QStringLiteral("-days"),
                         QStringLiteral("2")};
    const QStringList signedByCa{QStringLiteral("-CA"), at("ca.crt"), QStringLiteral("-CAkey"),
                                 at("ca.key")};
    const QList<QStringList> steps{
        QStringList{"req", "-x509", "-keyout", at("ca.key"), "-out", at("ca.crt"), "-subj",
                    "/CN=throw-away test CA"} +
            ec,
        QStringList{"req", "-x509", "-keyout", at("server.key"), "-out", at("server.crt"), "-subj",
                    "/CN=localhost", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1"} +
            signedByCa + ec,
        QStringList{"req", "-x509", "-keyout", at("client.key"), "-out", at("client.crt"), "-subj",
                    "/CN=mx7300-gateway"} +
            signedByCa + ec,
        QStringList{"genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2048", "-out",
                    at("other.key")},
    };
    for (const QStringList& args : steps) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(openssl(), args);
        if (!p.waitForFinished(30000) || p.exitCode() != 0)
            return QString::fromUtf8(p.readAll());
    }
    // The broker, started as root, reads its files as user mosquitto.
    const auto all = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                     QFileDevice::ReadOther;
    QFile::setPermissions(dir.path(), all | QFileDevice::ExeOwner | QFileDevice::ExeGroup |
                                          QFileDevice::ExeOther);
    QFile::setPermissions(at("server.key"), all);
    return {};
}

// The gateway, its standard error collected as it comes.
struct Gateway {
    explicit Gateway(const QStringList& args) {
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.start(kGateway, args);
    }
    ~Gateway() {
        process.terminate();
        if (!process.waitForFinished(10000))
            process.kill();
        process.waitForFinished(5000);
    }
    // The first match of `pattern` in what it has said, waiting up to 10 s.
    QRegularExpressionMatch waitFor(const QString& pattern) {
        const QRegularExpression re(pattern);
        const QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            err += process.readAllStandardError();
            const auto match = re.match(QString::fromUtf8(err));
            if (match.hasMatch())
                return match;
            process.waitForReadyRead(100);
        }
        return re.match(QString());
    }
    QProcess process;
    QByteArray err;
};

struct Answer {
    bool encrypted = false;
    QByteArray text;
};

// One GET over TLS, the peer checked against the test's own CA.
Answer httpsGet(quint16 port, const QString& caFile, const QByteArray& path) {
    QSslSocket socket;
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setCaCertificates(QSslCertificate::fromPath(caFile));
    socket.setSslConfiguration(config);
    socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
    Answer answer;
    answer.encrypted = socket.waitForEncrypted(5000);
    if (!answer.encrypted)
        return answer;
    socket.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
                 "\r\nConnection: close\r\n\r\n");
    while (socket.waitForReadyRead(5000) || socket.bytesAvailable())
        answer.text += socket.readAll();
    return answer;
}

} // namespace

class TestGatewayTls : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void servesOverTls_data();
    void servesOverTls();
    void startChecks_data();
    void startChecks();

private:
    QTemporaryDir m_dir;
    QString m_site;
};

void TestGatewayTls::initTestCase() {
    if (openssl().isEmpty() || MosquittoBroker::executable().isEmpty())
        QSKIP("openssl and mosquitto are needed");
    QVERIFY(QSslSocket::supportsSsl());
    const QString made = makeCertificates(m_dir);
    QVERIFY2(made.isEmpty(), qPrintable(made));
    m_site = m_dir.filePath(QStringLiteral("north.ini"));
    QFile site(m_site);
    QVERIFY(site.open(QIODevice::WriteOnly));
    site.write("[hall]\nport=" + m_dir.filePath(QStringLiteral("no-such-tty")).toUtf8() + "\n");
}

void TestGatewayTls::servesOverTls_data() {
    QTest::addColumn<bool>("clientCertificate");
    QTest::addColumn<int>("brokerConnected"); // as /metrics says
    QTest::newRow("with a client certificate the broker takes") << true << 1;
    QTest::newRow("without one, the broker refuses") << false << 0;
}

// HTTPS serves /metrics with the test CA's certificate, and plain HTTP gets nothing there; the
// broker, which asks for a client certificate, has the gateway only when it shows one.
void TestGatewayTls::servesOverTls() {
    QFETCH(bool, clientCertificate);
    QFETCH(int, brokerConnected);
    const auto at = [this](const char* name) { return m_dir.filePath(QLatin1String(name)); };
    MosquittoBroker broker;
    broker.useTls(at("server.crt"), at("server.key"), at("ca.crt"));
    QString error;
    QVERIFY2(broker.start(&error), qPrintable(error));

    QStringList args{"--site",        m_site,
                     "--http",        "127.0.0.1:0",
                     "--http-cert",   at("server.crt"),
                     "--http-key",    at("server.key"),
                     "--mqtt",        QStringLiteral("mqtts://localhost:%1").arg(broker.port()),
                     "--mqtt-cafile", at("ca.crt")};
    if (clientCertificate)
        args << "--mqtt-cert" << at("client.crt") << "--mqtt-key" << at("client.key");
    Gateway gateway(args);
    const auto listening =
        gateway.waitFor(QStringLiteral("listening on 127.0.0.1:(\\d+) \\(HTTPS\\)"));
    QVERIFY2(listening.hasMatch(), gateway.err.constData());
    const quint16 port = quint16(listening.captured(1).toUInt());
    if (clientCertificate)
        QVERIFY2(gateway.waitFor(QStringLiteral("broker: connected")).hasMatch(),
                 gateway.err.constData());
    else
        QVERIFY2(gateway.waitFor(QStringLiteral("broker: .*trying again")).hasMatch(),
                 gateway.err.constData());

    const Answer answer = httpsGet(port, at("ca.crt"), "/metrics");
    QVERIFY(answer.encrypted);
    QVERIFY2(answer.text.startsWith("HTTP/1.1 200"), answer.text.left(200).constData());
    QVERIFY2(answer.text.contains(QByteArray("\nmx7300_broker_connected{site=\"north\"} ") +
                                  QByteArray::number(brokerConnected) + '\n'),
             answer.text.constData());

    QTcpSocket plain;
    plain.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(plain.waitForConnected(5000));
    plain.write("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
                "\r\n\r\n");
    plain.waitForReadyRead(2000);
    QVERIFY(!plain.readAll().contains("mx7300_up"));
}

void TestGatewayTls::startChecks_data() {
    QTest::addColumn<QStringList>("args"); // after --site; "@NAME" is a file of the test's CA
    QTest::addColumn<int>("status");       // -1: starts and keeps running
    QTest::addColumn<QString>("said");     // on standard error
    const QStringList http{"--http", "127.0.0.1:0"};
    QTest::newRow("a certificate without its key")
        << http + QStringList{"--http-cert", "@server.crt"} << 2
        << "--http-cert and --http-key go together";
    QTest::newRow("a key that is not the certificate's")
        << http + QStringList{"--http-cert", "@server.crt", "--http-key", "@other.key", "--check"}
        << 2 << "other.key is not the key of";
    QTest::newRow("a key given as a symbolic link")
        << http + QStringList{"--http-cert", "@server.crt", "--http-key", "@link.key", "--check"}
        << 2 << "--http-key: ";
    QTest::newRow("a key where the certificate goes")
        << http + QStringList{"--http-cert", "@server.key", "--http-key", "@server.key", "--check"}
        << 2 << "no PEM certificate";
    QTest::newRow("a credential name without systemd's directory")
        << http + QStringList{"--http-cert", "server.crt", "--http-key", "server.key"} << 2
        << "names a systemd credential";
    QTest::newRow("a client certificate for a broker without TLS")
        << QStringList{"--mqtt",     "mqtt://localhost", "--mqtt-cert", "@client.crt",
                       "--mqtt-key", "@client.key",      "--check"}
        << 2 << "--mqtt-cert: needs mqtts://";
    QTest::newRow("a client key that is no key")
        << QStringList{"--mqtt",     "mqtts://localhost", "--mqtt-cert", "@client.crt",
                       "--mqtt-key", "@client.crt",       "--check"}
        << 2 << "--mqtt-key: .*no PEM private key";
    QTest::newRow("a PJLink port without a password")
        << QStringList{"--pjlink", "127.0.0.1:0"} << -1
        << "pjlink: hall on port \\d+ has no password";
}

void TestGatewayTls::startChecks() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, said);
    QFile::link(m_dir.filePath(QStringLiteral("server.key")),
                m_dir.filePath(QStringLiteral("link.key")));
    for (QString& arg : args)
        if (arg.startsWith(QLatin1Char('@')))
            arg = m_dir.filePath(arg.mid(1));
    Gateway gateway(QStringList{"--site", m_site} + args);
    const auto match = gateway.waitFor(said);
    QVERIFY2(match.hasMatch(), gateway.err.constData());
    if (status < 0) {
        QCOMPARE(gateway.process.state(), QProcess::Running);
        return;
    }
    if (gateway.process.state() != QProcess::NotRunning)
        QVERIFY(gateway.process.waitForFinished(10000));
    QCOMPARE(gateway.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(gateway.process.exitCode(), status);
}

QTEST_GUILESS_MAIN(TestGatewayTls)
#include "tst_gateway_tls.moc"
