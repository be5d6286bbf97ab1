// The audit log's own rules: how a command's end is named, and that refusals are limited per
// front while commands never are.
#include "AuditLog.h"

#include "Exchange.h"

#include <QTest>

using namespace tavo;
using namespace tavo::gateway;

class TestAuditLog : public QObject {
    Q_OBJECT

private slots:
    void limitsRefusalsPerFront_data();
    void limitsRefusalsPerFront();
    void namesTheOutcome_data();
    void namesTheOutcome();
};

void TestAuditLog::limitsRefusalsPerFront_data() {
    QTest::addColumn<QList<int>>("secondsOfRefusals"); // on front "http", in order
    QTest::addColumn<int>("written");
    QTest::addColumn<QStringList>("suppressed"); // the details of the summary lines
    const QList<int> burst(AuditLog::kBurst, 0);
    QTest::newRow("a burst is written whole") << burst << AuditLog::kBurst << QStringList();
    QTest::newRow("past the burst, left out")
        << (burst + QList<int>{1, 2, 3}) << AuditLog::kBurst << QStringList();
    QTest::newRow("the next window tells how many were left out")
        << (burst + QList<int>{1, 2, 61}) << AuditLog::kBurst + 1
        << QStringList{QStringLiteral("2 refusals left out of the log")};
    QTest::newRow("a slow trickle is never limited")
        << QList<int>{0, 61, 122, 183} << 4 << QStringList();
}

void TestAuditLog::limitsRefusalsPerFront() {
    QFETCH(QList<int>, secondsOfRefusals);
    QFETCH(int, written);
    QFETCH(QStringList, suppressed);
    qint64 now = 0;
    AuditLog log([&now] { return now; }, [] { return QDateTime::currentDateTimeUtc(); });
    QList<AuditRecord> lines;
    log.addSink([&lines](const AuditRecord& r) { lines << r; });
    const AuditOrigin http{QStringLiteral("http"), QStringLiteral("127.0.0.1:5"), "x"};
    for (const int second : secondsOfRefusals) {
        now = second * 1000LL;
        log.denied(http, QString(), QStringLiteral("wrong-token"), QStringLiteral("no"));
    }
    // Another front has a window of its own, and commands that went out are always written.
    log.refused(AuditOrigin{QStringLiteral("mqtt"), QStringLiteral("t"), "?"}, QStringLiteral("p"),
                QStringLiteral("set/power"), QStringLiteral("on or off"));
    Exchange done;
    done.status = Exchange::Status::Ok;
    done.reply = "\x06";
    log.outcome(http, QStringLiteral("p"), "C00", done);

    QStringList summaries;
    for (const AuditRecord& r : lines)
        if (r.result == QLatin1String("suppressed"))
            summaries << r.detail;
    QCOMPARE(summaries, suppressed);
    QCOMPARE(int(lines.size()) - int(summaries.size()), written + 2);
    QCOMPARE(lines.last().result, QStringLiteral("acknowledged"));
}

void TestAuditLog::namesTheOutcome_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("detail");
    QTest::newRow("ack") << int(Exchange::Status::Ok) << QByteArray("\x06") << QString()
                         << "acknowledged"
                         << "[ACK]";
    QTest::newRow("reply") << int(Exchange::Status::Ok) << QByteArray("1234\r") << QString()
                           << "reply"
                           << "1234";
    QTest::newRow("time-out") << int(Exchange::Status::NoReply) << QByteArray()
                              << "no reply within 2 s"
                              << "timed-out"
                              << "no reply within 2 s";
    QTest::newRow("queue full") << int(Exchange::Status::Busy) << QByteArray()
                                << "too many commands wait"
                                << "refused"
                                << "too many commands wait";
    QTest::newRow("line gone") << int(Exchange::Status::LinkLost) << QByteArray() << "closed"
                               << "link-lost"
                               << "closed";
}

void TestAuditLog::namesTheOutcome() {
    QFETCH(int, status);
    QFETCH(QByteArray, reply);
    QFETCH(QString, error);
    QFETCH(QString, result);
    QFETCH(QString, detail);
    AuditLog log([] { return 0; }, [] { return QDateTime::currentDateTimeUtc(); });
    QList<AuditRecord> lines;
    log.addSink([&lines](const AuditRecord& r) { lines << r; });
    Exchange e;
    e.status = Exchange::Status(status);
    e.reply = reply;
    e.replyTranscript = reply == "\x06" ? QStringLiteral(" [ACK] ") : QString::fromLatin1(reply);
    e.error = error;
    log.outcome(AuditOrigin{QStringLiteral("page"), QStringLiteral("[::1]:9"), "power on p"},
                QStringLiteral("p"), "C00\r\n", e);
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines[0].result, result);
    QCOMPARE(lines[0].detail, detail);
    QCOMPARE(lines[0].command, QStringLiteral("C00\\x0d\\x0a")); // one line, whatever was sent
}

QTEST_GUILESS_MAIN(TestAuditLog)
#include "tst_audit_log.moc"
