#include "GatewayOptions.h"

#include <QTest>

using namespace tavo::gateway;

class TestGatewayOptions : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void fileOptionsAndCredentials_data();
    void fileOptionsAndCredentials();
};

void TestGatewayOptions::parse_data() {
    QTest::addColumn<QStringList>("args");
    // "usage: TEXT" for a usage error, else "http ADDR PORT | pjlink ADDR PORT | poll N"
    QTest::addColumn<QString>("expected");
    const QStringList site{"--site", "s.ini"};
    QTest::newRow("defaults, checking")
        << site + QStringList{"--check"} << "http - - | pjlink - - | poll 10";
    QTest::newRow("no front") << site
                              << "usage: no front: give --mqtt, --http, --pjlink or --share";
    QTest::newRow("a broker is a front")
        << site + QStringList{"--mqtt", "mqtt://127.0.0.1"} << "http - - | pjlink - - | poll 10";
    QTest::newRow("http and pjlink")
        << site + QStringList{"--http", "127.0.0.1:9731", "--pjlink", "[::1]:5000", "--poll", "3"}
        << "http 127.0.0.1 9731 | pjlink ::1 5000 | poll 3";
    QTest::newRow("pjlink's own port by default") << site + QStringList{"--pjlink", "127.0.0.2"}
                                                  << "http - - | pjlink 127.0.0.2 4352 | poll 10";
    QTest::newRow("no site") << QStringList{"--poll", "5"} << "usage: --site FILE is required";
    QTest::newRow("poll zero") << site + QStringList{"--poll", "0"} << "usage: --poll must be";
    QTest::newRow("poll not a number")
        << site + QStringList{"--poll", "10s"} << "usage: --poll must be";
    QTest::newRow("http on a host name")
        << site + QStringList{"--http", "localhost:9731"} << "usage: --http must be ADDR:PORT";
    QTest::newRow("http without port")
        << site + QStringList{"--http", "localhost"} << "usage: --http must be ADDR:PORT";
    QTest::newRow("http port too big")
        << site + QStringList{"--http", "127.0.0.1:70000"} << "usage: --http must be ADDR:PORT";
    QTest::newRow("bare IPv6 with a port") << site + QStringList{"--pjlink", "::1:5000"}
                                           << "http - - | pjlink ::1:5000 4352 | poll 10";
    QTest::newRow("keepalive too short")
        << site + QStringList{"--mqtt-keepalive", "2"} << "usage: --mqtt-keepalive must be";
    QTest::newRow("a wildcard in the topic base")
        << site + QStringList{"--mqtt-base", "tavo/#"} << "usage: --mqtt-base must be";
    QTest::newRow("an empty level in the discovery prefix")
        << site + QStringList{"--ha-prefix", "ha//x"} << "usage: --ha-prefix must be";
    QTest::newRow("a line feed in the area prefix")
        << site + QStringList{"--ha-area-prefix", "north\n"} << "usage: --ha-area-prefix must be";
    QTest::newRow("topic base, prefix and areas set")
        << site + QStringList{"--mqtt",           "mqtt://127.0.0.1",
                              "--mqtt-base",      "av/tavo",
                              "--ha-prefix",      "ha",
                              "--ha-area-prefix", ""}
        << "http - - | pjlink - - | poll 10";
    QTest::newRow("a stray argument")
        << site + QStringList{"extra"} << "usage: unexpected argument";
    QTest::newRow("an unknown option")
        << site + QStringList{"--mqtt-password", "x"} << "usage: Unknown option";
}

void TestGatewayOptions::parse() {
    QFETCH(QStringList, args);
    QFETCH(QString, expected);
    const GatewayParse parsed = parseGatewayOptions(QStringList{"mx7300-gateway"} + args);
    QString got;
    if (parsed.kind == GatewayParse::Kind::Usage) {
        got = QStringLiteral("usage: ") + parsed.error;
        QVERIFY2(got.startsWith(expected), qPrintable(got));
        return;
    }
    const GatewayOptions& o = parsed.options;
    const auto port = [](const std::optional<quint16>& p) {
        return p ? QString::number(*p) : QStringLiteral("-");
    };
    got = QStringLiteral("http %1 %2 | pjlink %3 %4 | poll %5")
              .arg(o.httpPort ? o.httpAddress : QStringLiteral("-"), port(o.httpPort),
                   o.pjlinkPort ? o.pjlinkAddress : QStringLiteral("-"), port(o.pjlinkPort))
              .arg(o.pollSeconds);
    QCOMPARE(got, expected);
}

// A file option without "/" names a systemd credential; with one, a path as given.
void TestGatewayOptions::fileOptionsAndCredentials_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("credentials"); // CREDENTIALS_DIRECTORY; empty: not set
    QTest::addColumn<QString>("expected");    // the file, or "refused: " and part of the line

    const QString none;
    const QString dir = QStringLiteral("/run/credentials/mx7300-gateway@north.service");
    QTest::newRow("token credential") << "--http-token-file"
                                      << "token" << dir << dir + "/token";
    QTest::newRow("broker password credential") << "--mqtt-password-file"
                                                << "mqtt" << dir << dir + "/mqtt";
    QTest::newRow("PJLink password credential") << "--pjlink-password-file"
                                                << "pjlink" << dir << dir + "/pjlink";
    QTest::newRow("CA file credential") << "--mqtt-cafile"
                                        << "ca.pem" << dir << dir + "/ca.pem";
    QTest::newRow("absolute path, credentials or not")
        << "--http-token-file"
        << "/etc/tavo/north.token" << dir << "/etc/tavo/north.token";
    QTest::newRow("relative path") << "--http-token-file"
                                   << "./north.token" << none << "./north.token";
    QTest::newRow("a name without credentials")
        << "--http-token-file"
        << "token" << none
        << "refused: --http-token-file token names a systemd credential, but "
           "CREDENTIALS_DIRECTORY is not set";
    QTest::newRow("a password name without credentials")
        << "--mqtt-password-file"
        << "mqtt" << none << "refused: --mqtt-password-file mqtt names";
    QTest::newRow("no file called ..") << "--pjlink-password-file"
                                       << ".." << dir << "refused: --pjlink-password-file \"..\"";
}

void TestGatewayOptions::fileOptionsAndCredentials() {
    QFETCH(QString, option);
    QFETCH(QString, value);
    QFETCH(QString, credentials);
    QFETCH(QString, expected);

    const GatewayParse parsed =
        parseGatewayOptions({"mx7300-gateway", "--site", "s.ini", "--check", option, value});
    QVERIFY2(parsed.kind == GatewayParse::Kind::Run, qPrintable(parsed.error));
    GatewayOptions o = parsed.options;
    QString error;
    const bool ok = resolveFileOptions(&o, credentials, &error);
    const QString got = o.httpTokenFile + o.mqttPasswordFile + o.pjlinkPasswordFile + o.mqttCaFile;
    if (expected.startsWith(QLatin1String("refused: "))) {
        QVERIFY(!ok);
        QVERIFY2(error.startsWith(expected.mid(9)), qPrintable(error));
        return;
    }
    QVERIFY2(ok, qPrintable(error));
    QCOMPARE(got, expected);
}

QTEST_GUILESS_MAIN(TestGatewayOptions)
#include "tst_gateway_options.moc"
