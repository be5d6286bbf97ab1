#include "HttpFront.h"
#include "Metrics.h"
#include "TokenFile.h"

#include "Gateway.h"

#include "SimulatedLine.h"
#include "StatusReads.h"
#include "VirtualClock.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

using namespace tavo;
using namespace tavo::gateway;
using namespace tavo::test;

namespace {

constexpr char kToken[] = "s3cret-token-0123456789";

// hall answers, lab never does, dead's port will not open; each on a port of its own.
SiteConfig northWing() {
    SiteConfig site;
    site.name = QStringLiteral("north-wing");
    auto add = [&site](const char* name, const char* room, const char* target) {
        ProjectorConfig p;
        p.name = QString::fromLatin1(name);
        p.room = QString::fromUtf8(room);
        p.target = QString::fromLatin1(target);
        p.address = QStringLiteral("single");
        site.projectors << p;
    };
    add("hall", "Hall \"A\" \\ main", "sim-hall");
    add("lab", "Lab", "sim-silent");
    add("dead", "", "sim-missing");
    return site;
}

// The gateway over simulated lines on a virtual clock (polls only at the start and after a
// command), with its HTTP front on a free loopback port.
struct Site {
    explicit Site(const QByteArray& token, int maxConnections = 64, int idleMs = 30000,
                  int requestMs = 5000) {
        gateway = std::make_unique<Gateway>(
            northWing(),
            [this] {
                auto line = std::make_unique<SimulatedLine>();
                line->opening = [this, at = line.get()](const QString& target) {
                    at->silent = target.contains(QLatin1String("silent"));
                    at->failOpen = target.contains(QLatin1String("missing"));
                    lines.insert(target, at);
                };
                return line;
            },
            [this] { return std::make_unique<FakeTimer>(clock, 0); }, 60000,
            [this] { return clock.now(); },
            [] { return QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC); });
        metrics = std::make_unique<Metrics>(*gateway, QStringLiteral("1.2.3"));
        HttpOptions options;
        options.token = token;
        options.maxConnections = maxConnections;
        options.idleMs = idleMs;
        options.requestMs = requestMs;
        front = std::make_unique<HttpFront>(*gateway, *metrics, options);
        gateway->start();
    }

    // What went on the lines besides the polls' reads.
    QList<QByteArray> commandsSent() const {
        QList<QByteArray> sent;
        for (const SimulatedLine* line : lines)
            for (const QByteArray& w : line->writes)
                if (!statusReadOf(w.chopped(1)))
                    sent << w;
        return sent;
    }

    VirtualClock clock;
    QHash<QString, SimulatedLine*> lines; // owned by the gateway's pollers
    std::unique_ptr<Gateway> gateway;
    std::unique_ptr<Metrics> metrics;
    std::unique_ptr<HttpFront> front;
};

struct Response {
    int status = 0; // 0: the connection ended without one
    QByteArray head;
    QByteArray body;
};

// One raw request on a connection of its own; virtual time runs on while it waits, so a
// projector that does not answer times out.
Response exchange(Site& site, const QByteArray& raw) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, site.front->port());
    socket.write(raw);
    QByteArray got;
    Response r;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 5000) {
        QTest::qWait(1);
        site.clock.advance(20);
        got += socket.readAll();
        const int end = got.indexOf("\r\n\r\n");
        if (end >= 0) {
            r.head = got.left(end);
            const auto length = QRegularExpression(QStringLiteral("(?i)content-length: *(\\d+)"))
                                    .match(QString::fromLatin1(r.head));
            if (length.hasMatch() && got.size() - end - 4 >= length.captured(1).toInt()) {
                r.status = got.mid(9, 3).toInt();
                r.body = got.mid(end + 4);
                break;
            }
        }
        if (socket.state() == QAbstractSocket::UnconnectedState)
            break;
    }
    return r;
}

QByteArray request(const QByteArray& method, const QByteArray& path, QByteArrayList headers,
                   const QByteArray& body, quint16 port) {
    bool hasHost = false;
    for (QByteArray& h : headers) {
        h.replace("{port}", QByteArray::number(port));
        hasHost = hasHost || h.toLower().startsWith("host:");
    }
    if (!hasHost)
        headers << "Host: 127.0.0.1:" + QByteArray::number(port);
    headers << "Connection: close";
    if (method == "POST")
        headers << "Content-Length: " + QByteArray::number(body.size());
    return method + ' ' + path + " HTTP/1.1\r\n" + headers.join("\r\n") + "\r\n\r\n" + body;
}

// Answers read off one connection in turn; one flagged in `headOnly` has no body whatever its
// Content-Length says. `rest` is what came beyond them. Virtual time runs on while it waits.
struct Conversation {
    QList<Response> answers;
    QByteArray rest;
};

Conversation converse(Site& site, QTcpSocket& socket, const QList<bool>& headOnly) {
    Conversation c;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 5000 && c.answers.size() < headOnly.size()) {
        QTest::qWait(1);
        site.clock.advance(20);
        c.rest += socket.readAll();
        for (int end = c.rest.indexOf("\r\n\r\n"); end >= 0 && c.answers.size() < headOnly.size();
             end = c.rest.indexOf("\r\n\r\n")) {
            Response r;
            r.head = c.rest.left(end);
            const auto length = QRegularExpression(QStringLiteral("(?i)content-length: *(\\d+)"))
                                    .match(QString::fromLatin1(r.head));
            const int body = headOnly[c.answers.size()] ? 0 : length.captured(1).toInt();
            if (c.rest.size() < end + 4 + body)
                break;
            r.status = c.rest.mid(9, 3).toInt();
            r.body = c.rest.mid(end + 4, body);
            c.answers << r;
            c.rest.remove(0, end + 4 + body);
        }
        if (socket.state() == QAbstractSocket::UnconnectedState)
            break;
    }
    return c;
}

} // namespace

class TestHttpFront : public QObject {
    Q_OBJECT

private slots:
    void requests_data();
    void requests();
    void busyProjector();
    void metricsParse_data();
    void metricsParse();
    void metricsOverTime();
    void hostileConnections();
    void oneConnection_data();
    void oneConnection();
    void slowClients_data();
    void slowClients();
    void tokenFile_data();
    void tokenFile();
};

void TestHttpFront::requests_data() {
    QTest::addColumn<QByteArray>("token"); // the gateway's; empty: read-only
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArrayList>("headers");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("answer"); // a part of the body
    QTest::addColumn<QList<QByteArray>>("sent");

    const QByteArray t = kToken;
    const QByteArrayList auth{"Authorization: Bearer " + t};
    using L = QList<QByteArray>;

    QTest::newRow("metrics, no token needed")
        << t << QByteArray("GET") << QByteArray("/metrics") << QByteArrayList() << QByteArray()
        << 200 << QByteArray("mx7300_up{") << L();
    QTest::newRow("the site's projectors")
        << t << QByteArray("GET") << QByteArray("/api/projectors") << QByteArrayList()
        << QByteArray() << 200
        << QByteArray(R"("projectors":[{"address":"single","available":true,"input":"Input 1",)"
                      R"("lamp_hours":1234,"name":"hall")")
        << L();
    QTest::newRow("one projector")
        << t << QByteArray("GET") << QByteArray("/api/projectors/lab") << QByteArrayList()
        << QByteArray() << 200 << QByteArray(R"("available":false,"input":null)") << L();
    QTest::newRow("a name not in the site, read")
        << t << QByteArray("GET") << QByteArray("/api/projectors/attic") << QByteArrayList()
        << QByteArray() << 404 << QByteArray("no such projector") << L();
    QTest::newRow("power on") << t << QByteArray("POST") << QByteArray("/api/projectors/hall/power")
                              << auth << QByteArray("on") << 200
                              << QByteArray(R"({"ok":true,"reply":{"address":"single",)"
                                            R"("decoded":null,"error":null,"name":"hall",)"
                                            R"("ok":true,"reply":"\u0006","sent":"C00\r",)"
                                            R"("target":"sim-hall"}})")
                              << L{"C00\r"};
    QTest::newRow("power off, a line end after it")
        << t << QByteArray("POST") << QByteArray("/api/projectors/hall/power") << auth
        << QByteArray("off\r\n") << 200 << QByteArray(R"("sent":"C01\r")") << L{"C01\r"};
    QTest::newRow("input 3") << t << QByteArray("POST") << QByteArray("/api/projectors/hall/input")
                             << auth << QByteArray("3") << 200 << QByteArray(R"("sent":"C07\r")")
                             << L{"C07\r"};
    QTest::newRow("a command as typed")
        << t << QByteArray("POST") << QByteArray("/api/projectors/hall/send") << auth
        << QByteArray("CR7") << 200 << QByteArray(R"("ok":true)") << L{"CR7\r"};
    QTest::newRow("no token") << t << QByteArray("POST") << QByteArray("/api/projectors/hall/power")
                              << QByteArrayList() << QByteArray("on") << 401
                              << QByteArray("Authorization: Bearer") << L();
    QTest::newRow("a wrong token")
        << t << QByteArray("POST") << QByteArray("/api/projectors/hall/power")
        << QByteArrayList{"Authorization: Bearer " + t + "x"} << QByteArray("on") << 401
        << QByteArray(R"("ok":false)") << L();
    QTest::newRow("the token in another scheme")
        << t << QByteArray("POST") << QByteArray("/api/projectors/hall/power")
        << QByteArrayList{"Authorization: Basic " + t} << QByteArray("on") << 401
        << QByteArray(R"("ok":false)") << L();
    QTest::newRow("a read-only gateway")
        << QByteArray() << QByteArray("POST") << QByteArray("/api/projectors/hall/power") << auth
        << QByteArray("on") << 403 << QByteArray("read-only") << L();
    QTest::newRow("a page of a foreign origin, with the token")
        << t << QByteArray("POST") << QByteArray("/api/projectors/hall/power")
        << (auth + QByteArrayList{"Origin: http://evil.example"}) << QByteArray("on") << 403
        << QByteArray("another origin") << L();
    QTest::newRow("the gateway's own origin")
        << t << QByteArray("POST") << QByteArray("/api/projectors/hall/power")
        << (auth + QByteArrayList{"Origin: http://localhost:{port}"}) << QByteArray("on") << 200
        << QByteArray(R"({"ok":true)") << L{"C00\r"};
    QTest::newRow("a foreign origin reading the metrics")
        << t << QByteArray("GET") << QByteArray("/metrics")
        << QByteArrayList{"Origin: http://127.0.0.1:1"} << QByteArray() << 403
        << QByteArray("another origin") << L();
    QTest::newRow("a foreign host name on loopback (rebinding)")
        << t << QByteArray("GET") << QByteArray("/api/projectors")
        << QByteArrayList{"Host: evil.example:{port}"} << QByteArray() << 403
        << QByteArray("host name") << L();
    QTest::newRow("power neither on nor off")
        << t << QByteArray("POST") << QByteArray("/api/projectors/hall/power") << auth
        << QByteArray("ON") << 400 << QByteArray("on or off") << L();
    QTest::newRow("input 5") << t << QByteArray("POST") << QByteArray("/api/projectors/hall/input")
                             << auth << QByteArray("5") << 400 << QByteArray("1 to 4") << L();
    QTest::newRow("a CR inside a command")
        << t << QByteArray("POST") << QByteArray("/api/projectors/hall/send") << auth
        << QByteArray("C00\rC01") << 400 << QByteArray("CR (0x0D) at position 4; nothing was sent")
        << L();
    QTest::newRow("a NUL inside a command")
        << t << QByteArray("POST") << QByteArray("/api/projectors/hall/send") << auth
        << QByteArray("C0\0"
                      "0",
                      4)
        << 400 << QByteArray("NUL (0x00) at position 3") << L();
    QTest::newRow("a C1 NEL inside a command")
        << t << QByteArray("POST") << QByteArray("/api/projectors/hall/send") << auth
        << QByteArray("C0\xc2\x85"
                      "0")
        << 400 << QByteArray("NEL (0x85) at position 3") << L();
    QTest::newRow("a C1 APC ending a command")
        << t << QByteArray("POST") << QByteArray("/api/projectors/hall/send") << auth
        << QByteArray("C00\xc2\x9f") << 400 << QByteArray("APC (0x9F) at position 4") << L();
    QTest::newRow("binary") << t << QByteArray("POST") << QByteArray("/api/projectors/hall/send")
                            << auth << QByteArray("\xff\xfe\x80") << 400 << QByteArray("not UTF-8")
                            << L();
    QTest::newRow("beyond Latin-1")
        << t << QByteArray("POST") << QByteArray("/api/projectors/hall/send") << auth
        << QByteArray("C\xe2\x82\xac") << 400 << QByteArray("outside Latin-1") << L();
    QTest::newRow("an empty command")
        << t << QByteArray("POST") << QByteArray("/api/projectors/hall/send") << auth
        << QByteArray("\n") << 400 << QByteArray("must hold a command") << L();
    QTest::newRow("a body over 1 KiB")
        << t << QByteArray("POST") << QByteArray("/api/projectors/hall/send") << auth
        << QByteArray(1025, 'C') << 413 << QByteArray("longer than 1024 bytes") << L();
    QTest::newRow("a name not in the site, write")
        << t << QByteArray("POST") << QByteArray("/api/projectors/attic/power") << auth
        << QByteArray("on") << 404 << QByteArray("no such projector") << L();
    QTest::newRow("an action the gateway has not")
        << t << QByteArray("POST") << QByteArray("/api/projectors/hall/reboot") << auth
        << QByteArray("now") << 404 << QByteArray("no such page") << L();
    QTest::newRow("a write as GET")
        << t << QByteArray("GET") << QByteArray("/api/projectors/hall/power") << auth
        << QByteArray() << 405 << QByteArray("use POST") << L();
    QTest::newRow("a projector that does not answer")
        << t << QByteArray("POST") << QByteArray("/api/projectors/lab/power") << auth
        << QByteArray("on") << 504 << QByteArray(R"("error":"no reply")") << L{"C00\r"};
    QTest::newRow("a port that will not open")
        << t << QByteArray("POST") << QByteArray("/api/projectors/dead/power") << auth
        << QByteArray("on") << 502 << QByteArray("the port is closed") << L();
    QTest::newRow("no such page") << t << QByteArray("GET") << QByteArray("/admin")
                                  << QByteArrayList() << QByteArray() << 404
                                  << QByteArray("no such page") << L();
}

void TestHttpFront::requests() {
    QFETCH(QByteArray, token);
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, path);
    QFETCH(QByteArrayList, headers);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QByteArray, answer);
    QFETCH(QList<QByteArray>, sent);

    Site site(token);
    QVERIFY2(site.front->listen(), qPrintable(site.front->errorString()));
    const int hall = site.gateway->indexOf(QStringLiteral("hall"));
    QTRY_VERIFY(site.gateway->state(hall).lampHours.has_value());

    const Response r = exchange(site, request(method, path, headers, body, site.front->port()));
    QCOMPARE(r.status, status);
    QVERIFY2(r.body.contains(answer), r.body.constData());
    QCOMPARE(site.commandsSent(), sent);
    if (status == 401)
        QVERIFY(r.head.contains("WWW-Authenticate: Bearer"));
}

// A write for a projector whose queue is full is answered 503 at once and not sent.
void TestHttpFront::busyProjector() {
    int ended = 0; // outlives the site, whose stop ends the commands
    Site site(kToken);
    QVERIFY2(site.front->listen(), qPrintable(site.front->errorString()));
    const int lab = site.gateway->indexOf(QStringLiteral("lab"));
    for (int i = 0; i < PortPoller::kCommandsPerProjector; ++i)
        site.gateway->send(lab, "C0D", [&ended](const Exchange&) { ++ended; });

    const Response r = exchange(site, request("POST", "/api/projectors/lab/power",
                                              {QByteArray("Authorization: Bearer ") + kToken}, "on",
                                              site.front->port()));
    QCOMPARE(r.status, 503);
    QVERIFY2(r.body.contains("busy: 16 commands already wait for this projector"),
             r.body.constData());
    QVERIFY(!site.commandsSent().contains("C00\r"));
}

void TestHttpFront::metricsParse_data() {
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("sample");
    QTest::addColumn<QVariantMap>("labels"); // besides site, all of which it must carry
    QTest::addColumn<double>("value");

    const QVariantMap hall{{"projector", "hall"}};
    const QVariantMap lab{{"projector", "lab"}};
    // One poll's exchanges: a reply and a timing for each read.
    const double pollReads = double(statusReadsEnd() - statusReadsBegin());
    auto plus = [](QVariantMap labels, const char* name, const char* value) {
        labels.insert(QString::fromLatin1(name), QString::fromUtf8(value));
        return labels;
    };
    QTest::newRow("up") << "mx7300_up"
                        << "gauge"
                        << "mx7300_up" << hall << 1.0;
    QTest::newRow("down") << "mx7300_up"
                          << "gauge"
                          << "mx7300_up" << lab << 0.0;
    QTest::newRow("what describes a projector")
        << "mx7300_projector_info"
        << "gauge"
        << "mx7300_projector_info"
        << plus(plus(plus(hall, "room", "Hall \"A\" \\ main"), "port", "sim-hall"), "address",
                "single")
        << 1.0;
    QTest::newRow("standby is the state")
        << "mx7300_power_state"
        << "gauge"
        << "mx7300_power_state" << plus(hall, "state", "standby") << 1.0;
    QTest::newRow("on is not") << "mx7300_power_state"
                               << "gauge"
                               << "mx7300_power_state" << plus(hall, "state", "on") << 0.0;
    QTest::newRow("a silent one is unknown")
        << "mx7300_power_state"
        << "gauge"
        << "mx7300_power_state" << plus(lab, "state", "unknown") << 1.0;
    QTest::newRow("lamp time in seconds") << "mx7300_lamp_on_seconds"
                                          << "gauge"
                                          << "mx7300_lamp_on_seconds" << hall << 1234.0 * 3600;
    QTest::newRow("lamp replacement due at") << "mx7300_lamp_warn_seconds"
                                             << "gauge"
                                             << "mx7300_lamp_warn_seconds" << lab << 3000.0 * 3600;
    QTest::newRow("temperature 2")
        << "mx7300_temperature_celsius"
        << "gauge"
        << "mx7300_temperature_celsius" << plus(hall, "sensor", "2") << 28.0;
    QTest::newRow("replies") << "mx7300_replies"
                             << "counter"
                             << "mx7300_replies_total" << hall << pollReads;
    QTest::newRow("timeouts") << "mx7300_timeouts"
                              << "counter"
                              << "mx7300_timeouts_total" << lab << 1.0;
    QTest::newRow("exchanges timed") << "mx7300_exchange_seconds"
                                     << "histogram"
                                     << "mx7300_exchange_seconds_count" << hall << pollReads;
    QTest::newRow("a time-out is timed")
        << "mx7300_exchange_seconds"
        << "histogram"
        << "mx7300_exchange_seconds_bucket" << plus(lab, "le", "2") << 1.0;
    QTest::newRow("nor a reply below the time-out")
        << "mx7300_exchange_seconds"
        << "histogram"
        << "mx7300_exchange_seconds_bucket" << plus(lab, "le", "0.5") << 0.0;
    QTest::newRow("a port that would not open")
        << "mx7300_failed_opens"
        << "counter"
        << "mx7300_failed_opens_total" << QVariantMap{{"port", "sim-missing"}} << 1.0;
    QTest::newRow("last answered poll")
        << "mx7300_last_successful_poll_timestamp_seconds"
        << "gauge"
        << "mx7300_last_successful_poll_timestamp_seconds" << hall
        << double(QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC).toSecsSinceEpoch());
    QTest::newRow("nothing queued") << "mx7300_queued_commands"
                                    << "gauge"
                                    << "mx7300_queued_commands" << hall << 0.0;
}

// The text as Prometheus' own client library parses it.
void TestHttpFront::metricsParse() {
    QFETCH(QString, family);
    QFETCH(QString, type);
    QFETCH(QString, sample);
    QFETCH(QVariantMap, labels);
    QFETCH(double, value);

    Site site(kToken);
    QVERIFY(site.front->listen());
    const int hall = site.gateway->indexOf(QStringLiteral("hall"));
    QTRY_VERIFY(site.gateway->state(hall).lampHours.has_value());
    site.clock.advance(1000); // lab's first read times out

    const Response r = exchange(site, request("GET", "/metrics", {}, {}, site.front->port()));
    QCOMPARE(r.status, 200);
    QVERIFY(r.head.contains("Content-Type: text/plain; version=0.0.4"));

    QProcess python;
    python.start(QStringLiteral(PYTHON3_PATH),
                 {QStringLiteral("-c"),
                  QStringLiteral("import sys, json\n"
                                 "from prometheus_client.parser import "
                                 "text_string_to_metric_families as parse\n"
                                 "print(json.dumps([[f.name, f.type, s.name, s.labels, s.value]\n"
                                 "    for f in parse(sys.stdin.read()) for s in f.samples]))\n")});
    QVERIFY(python.waitForStarted());
    python.write(r.body);
    python.closeWriteChannel();
    QVERIFY(python.waitForFinished());
    QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());

    int found = 0;
    labels.insert(QStringLiteral("site"), QStringLiteral("north-wing"));
    for (const QJsonValue& row : QJsonDocument::fromJson(python.readAllStandardOutput()).array()) {
        const QJsonArray s = row.toArray();
        if (s[2].toString() != sample)
            continue;
        const QVariantMap got = s[3].toObject().toVariantMap();
        bool match = true;
        for (auto it = labels.cbegin(); it != labels.cend(); ++it)
            match = match && got.value(it.key()) == it.value();
        if (!match)
            continue;
        ++found;
        QCOMPARE(s[0].toString(), family);
        QCOMPARE(s[1].toString(), type);
        QCOMPARE(s[4].toDouble(), value);
    }
    QCOMPARE(found, 1);
}

// The line of `sample` whose labels start with `labels`, or nothing.
QByteArray sampleLine(const QByteArray& text, const QByteArray& sample, const QByteArray& labels) {
    for (const QByteArray& line : text.split('\n'))
        if (line.startsWith(sample + '{' + labels))
            return line;
    return {};
}

// A scrape passes Prometheus' own lint; room is on the _info series only; a queued command is
// seen; a projector gone offline keeps its last readings beside mx7300_up 0.
void TestHttpFront::metricsOverTime() {
    Site site(kToken);
    QVERIFY(site.front->listen());
    const int hall = site.gateway->indexOf(QStringLiteral("hall"));
    QTRY_VERIFY(site.gateway->state(hall).lampHours.has_value());
    site.clock.advance(1000);

    const Response r = exchange(site, request("GET", "/metrics", {}, {}, site.front->port()));
    QCOMPARE(r.status, 200);
    QProcess promtool;
    promtool.start(QStringLiteral(PROMTOOL_PATH),
                   {QStringLiteral("check"), QStringLiteral("metrics")});
    QVERIFY2(promtool.waitForStarted(), "promtool (Debian package prometheus) is needed");
    promtool.write(r.body);
    promtool.closeWriteChannel();
    QVERIFY(promtool.waitForFinished());
    const QByteArray lint = promtool.readAll();
    QVERIFY2(promtool.exitCode() == 0 && lint.isEmpty(), lint.constData());
    QVERIFY(r.body.contains("mx7300_build_info{version=\"1.2.3\"} 1\n"));
    for (const QByteArray& line : r.body.split('\n'))
        QVERIFY2(!line.contains("room=") || line.startsWith("mx7300_projector_info{"), line);

    const int lab = site.gateway->indexOf(QStringLiteral("lab"));
    site.gateway->send(lab, "C00", [](const Exchange&) {});
    QCOMPARE(sampleLine(site.metrics->render(), "mx7300_queued_commands", "projector=\"lab\""),
             QByteArray("mx7300_queued_commands{projector=\"lab\",site=\"north-wing\"} 1"));

    site.lines.value(QStringLiteral("sim-hall"))->silent = true;
    site.clock.advance(60000); // the next poll, which hall leaves unanswered
    QTRY_VERIFY_WITH_TIMEOUT((site.clock.advance(100), !site.gateway->state(hall).available), 5000);
    const QByteArray after = site.metrics->render();
    QCOMPARE(sampleLine(after, "mx7300_up", "projector=\"hall\""),
             QByteArray("mx7300_up{projector=\"hall\",site=\"north-wing\"} 0"));
    QCOMPARE(sampleLine(after, "mx7300_lamp_on_seconds", "projector=\"hall\""),
             QByteArray("mx7300_lamp_on_seconds{projector=\"hall\",site=\"north-wing\"} 4442400"));
    QVERIFY(!sampleLine(after, "mx7300_temperature_celsius", "projector=\"hall\",sensor=\"3\"")
                 .isEmpty());
}

// A request too long to hold, and connections past the cap or left idle, are closed; the
// front serves on.
void TestHttpFront::hostileConnections() {
    Site site(kToken, 3, 300);
    QVERIFY(site.front->listen());
    const quint16 port = site.front->port();

    const Response tooLong = exchange(site, request("POST", "/api/projectors/hall/send",
                                                    {"Authorization: Bearer " + QByteArray(kToken)},
                                                    QByteArray(64 * 1024, 'C'), port));
    QCOMPARE(tooLong.status, 413);
    QVERIFY(tooLong.body.startsWith("the request is too long")); // cut off before the handler
    QCOMPARE(site.commandsSent(), QList<QByteArray>());

    // A client gone before its projector answers: the answer has nowhere to go, and is dropped.
    site.clock.advance(2000); // lab's first read has timed out: the line is free
    {
        QTcpSocket leaving;
        leaving.connectToHost(QHostAddress::LocalHost, port);
        leaving.write(request("POST", "/api/projectors/lab/power",
                              {"Authorization: Bearer " + QByteArray(kToken)}, "on", port));
        QTRY_COMPARE(site.commandsSent(), QList<QByteArray>{"C00\r"});
    }
    QTRY_COMPARE(site.front->connections(), 0);
    site.clock.advance(1000); // the command's time-out: its answer finds the socket gone

    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 4; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(idle.back()->waitForConnected(2000));
    }
    // Past the cap, the newcomer takes the place of the one that has waited longest.
    QTRY_COMPARE(idle[0]->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(idle[3]->state(), QAbstractSocket::ConnectedState);
    for (int i = 1; i < 4; ++i)
        QTRY_COMPARE(idle[size_t(i)]->state(), QAbstractSocket::UnconnectedState);

    QCOMPARE(exchange(site, request("GET", "/metrics", {}, {}, port)).status, 200);
}

void TestHttpFront::oneConnection_data() {
    QTest::addColumn<QByteArray>("requests"); // written at once on one connection
    QTest::addColumn<QByteArray>("answers");  // statuses in order; "h": bodyless, head as the next
    QTest::addColumn<bool>("closes");
    QTest::addColumn<QList<QByteArray>>("sent");

    const QByteArray host = "Host: 127.0.0.1:{port}\r\n";
    const QByteArray auth = "Authorization: Bearer " + QByteArray(kToken) + "\r\n";
    const auto post = [&](const char* path, const QByteArray& fields, const QByteArray& body) {
        return "POST " + QByteArray(path) + " HTTP/1.1\r\n" + host + auth + fields + "\r\n" + body;
    };
    const auto get = [&](const char* method, const char* path) {
        return QByteArray(method) + ' ' + path + " HTTP/1.1\r\n" + host + "\r\n";
    };
    using L = QList<QByteArray>;

    QTest::newRow("a slow write, then reads: answered in order")
        << post("/api/projectors/lab/power", "Content-Length: 2\r\n", "on") +
               get("GET", "/api/projectors/attic") + get("GET", "/metrics")
        << QByteArray("504 404 200") << false << L{"C00\r"};
    QTest::newRow("a write, then a read, CR LF between")
        << post("/api/projectors/hall/send", "Content-Length: 3\r\n", "CR7") + "\r\n" +
               get("GET", "/api/projectors/attic")
        << QByteArray("200 404") << false << L{"CR7\r"};
    QTest::newRow("two Content-Lengths that differ")
        << post("/api/projectors/hall/send", "Content-Length: 3\r\nContent-Length: 26\r\n",
                "CR7" + get("GET", "/api/projectors/hall/x"))
        << QByteArray("400") << true << L();
    QTest::newRow("one Content-Length listing two")
        << post("/api/projectors/hall/send", "Content-Length: 3, 4\r\n", "CR7\n")
        << QByteArray("400") << true << L();
    QTest::newRow("the same Content-Length twice")
        << post("/api/projectors/hall/send", "Content-Length: 3\r\nContent-Length: 3\r\n", "CR7")
        << QByteArray("200") << false << L{"CR7\r"};
    QTest::newRow("Content-Length and Transfer-Encoding")
        << post("/api/projectors/hall/send", "Content-Length: 3\r\nTransfer-Encoding: chunked\r\n",
                "3\r\nCR7\r\n0\r\n\r\n")
        << QByteArray("400") << true << L();
    QTest::newRow("Transfer-Encoding alone")
        << post("/api/projectors/hall/send", "Transfer-Encoding: chunked\r\n",
                "3\r\nCR7\r\n0\r\n\r\n")
        << QByteArray("411") << true << L();
    QTest::newRow("a space before the colon")
        << post("/api/projectors/hall/send", "Content-Length : 3\r\n", "CR7") << QByteArray("400")
        << true << L();
    QTest::newRow("a method HTTP has not")
        << get("BREW", "/api/projectors") << QByteArray("501") << true << L();
    QTest::newRow("a control byte in a header")
        << get("GET", "/api/projectors").replace("\r\n\r\n", "\r\nX-A: b\x01\r\n\r\n")
        << QByteArray("400") << true << L();
    QTest::newRow("HEAD of a projector, then GET")
        << get("HEAD", "/api/projectors/hall") + get("GET", "/api/projectors/hall")
        << QByteArray("200h 200") << false << L();
    QTest::newRow("HEAD of the metrics, then GET")
        << get("HEAD", "/metrics") + get("GET", "/metrics") << QByteArray("200h 200") << false
        << L();
    QTest::newRow("HEAD of a write, then GET")
        << get("HEAD", "/api/projectors/hall/power") + get("GET", "/api/projectors/hall/power")
        << QByteArray("405h 405") << false << L();
}

// Requests sent together on one connection: answered one by one in their order, HEAD as GET
// without the body, and a request whose body's length is open to two readings refused and its
// connection closed, before anything reaches a projector.
void TestHttpFront::oneConnection() {
    QFETCH(QByteArray, requests);
    QFETCH(QByteArray, answers);
    QFETCH(bool, closes);
    QFETCH(QList<QByteArray>, sent);

    Site site(kToken);
    QVERIFY(site.front->listen());
    const int hall = site.gateway->indexOf(QStringLiteral("hall"));
    QTRY_VERIFY(site.gateway->state(hall).lampHours.has_value());
    site.clock.advance(2000); // lab's first read has timed out: its line is free

    QList<int> statuses;
    QList<bool> headOnly;
    for (const QByteArray& a : answers.split(' ')) {
        statuses << a.left(3).toInt();
        headOnly << a.endsWith('h');
    }
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, site.front->port());
    socket.write(requests.replace("{port}", QByteArray::number(site.front->port())));
    const Conversation c = converse(site, socket, headOnly);

    QList<int> got;
    for (const Response& r : c.answers)
        got << r.status;
    QCOMPARE(got, statuses);
    QVERIFY2(c.rest.isEmpty(), c.rest.constData()); // no body after a HEAD, nothing unasked
    for (int i = 0; i + 1 < c.answers.size(); ++i) {
        if (headOnly[i])
            QCOMPARE(c.answers[i].head, c.answers[i + 1].head);
    }
    QCOMPARE(site.commandsSent(), sent);
    if (closes)
        QTRY_COMPARE(socket.state(), QAbstractSocket::UnconnectedState);
    else
        QCOMPARE(socket.state(), QAbstractSocket::ConnectedState);
}

void TestHttpFront::slowClients_data() {
    QTest::addColumn<QByteArray>("trickle"); // a byte of it every 50 ms from each slow client
    QTest::addColumn<int>("crowd");          // slow clients, then one that asks for the metrics
    QTest::addColumn<int>("requestMs");

    const QByteArray head =
        "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: " + QByteArray(200, 'a');
    QTest::newRow("a head a byte at a time") << head << 1 << 400;
    QTest::newRow("a body a byte at a time")
        << "POST /api/projectors/hall/send HTTP/1.1\r\nContent-Length: 500\r\n\r\n" +
               QByteArray(500, 'C')
        << 1 << 400;
    QTest::newRow("every place taken by heads a byte at a time") << head << 3 << 30000;
}

// Clients that trickle bytes are closed by the request's deadline long before the idle time,
// and never keep a newcomer out.
void TestHttpFront::slowClients() {
    QFETCH(QByteArray, trickle);
    QFETCH(int, crowd);
    QFETCH(int, requestMs);

    Site site(kToken, 3, 30000, requestMs);
    QVERIFY(site.front->listen());
    std::vector<std::unique_ptr<QTcpSocket>> slow;
    QByteArrayList received(crowd);
    for (int i = 0; i < crowd; ++i) {
        slow.push_back(std::make_unique<QTcpSocket>());
        QTcpSocket* s = slow.back().get();
        connect(s, &QTcpSocket::readyRead, s, [s, &received, i] { received[i] += s->readAll(); });
        s->connectToHost(QHostAddress::LocalHost, site.front->port());
        QVERIFY(s->waitForConnected(2000));
    }
    QTRY_COMPARE(site.front->connections(), crowd);
    int next = 0;
    QTimer drip;
    connect(&drip, &QTimer::timeout, this, [&] {
        for (const auto& s : slow)
            s->write(trickle.mid(next % trickle.size(), 1));
        ++next;
    });
    drip.start(50);

    if (crowd == 1) {
        QTRY_COMPARE_WITH_TIMEOUT(slow[0]->state(), QAbstractSocket::UnconnectedState,
                                  10 * requestMs);
        QVERIFY2(received[0].startsWith("HTTP/1.1 408 "), received[0].constData());
    }
    const Response r = exchange(site, request("GET", "/metrics", {}, {}, site.front->port()));
    QCOMPARE(r.status, 200);
    QVERIFY(r.body.contains("mx7300_up{"));
}

void TestHttpFront::tokenFile_data() {
    QTest::addColumn<QString>("kind"); // file, fifo, link, directory, missing
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("token"); // empty: refused
    QTest::addColumn<QString>("error");    // a part of the reason

    QTest::newRow("one line") << "file" << QByteArray("abcdefghijklmnop\n")
                              << QByteArray("abcdefghijklmnop") << QString();
    QTest::newRow("CR LF") << "file" << QByteArray("abcdefghijklmnop\r\n")
                           << QByteArray("abcdefghijklmnop") << QString();
    QTest::newRow("too short") << "file" << QByteArray("short\n") << QByteArray() << "at least 16";
    QTest::newRow("two lines") << "file" << QByteArray("abcdefghijklmnop\nqrstuvwxyz\n")
                               << QByteArray() << "more than one line";
    QTest::newRow("a space") << "file" << QByteArray("abcdefgh ijklmnop") << QByteArray()
                             << "without spaces";
    QTest::newRow("too long") << "file" << QByteArray(kTokenFileLimit + 1, 'x') << QByteArray()
                              << "larger than 4 KiB";
    QTest::newRow("a FIFO, which must not hang the start")
        << "fifo" << QByteArray() << QByteArray() << "is a FIFO, not a file";
    QTest::newRow("a symbolic link") << "link" << QByteArray("abcdefghijklmnop") << QByteArray()
                                     << "is a symbolic link; name the file itself";
    QTest::newRow("a directory") << "directory" << QByteArray() << QByteArray()
                                 << "is a directory, not a file";
    QTest::newRow("missing") << "missing" << QByteArray() << QByteArray() << "does not exist";
}

void TestHttpFront::tokenFile() {
    QFETCH(QString, kind);
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, token);
    QFETCH(QString, error);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("token"));
    const QString real =
        kind == QLatin1String("link") ? dir.filePath(QStringLiteral("real")) : path;
    if (kind == QLatin1String("file") || kind == QLatin1String("link")) {
        QFile file(real);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    if (kind == QLatin1String("link"))
        QVERIFY(QFile::link(real, path));
    if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    if (kind == QLatin1String("directory"))
        QVERIFY(QDir().mkdir(path));

    QString why;
    const auto got = readTokenFile(path, &why);
    QCOMPARE(got.value_or(QByteArray()), token);
    QVERIFY2(why.contains(error), qPrintable(why));
}

QTEST_GUILESS_MAIN(TestHttpFront)
#include "tst_http_front.moc"
