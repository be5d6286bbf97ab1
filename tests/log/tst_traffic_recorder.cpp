// What goes into the record: one row per command, per reply and per change of
// the link, with the line's bytes bounded and the file line clean whatever
// arrives.

#include "RecordingFixture.h"
#include "TestClasses.h"

#include <QRandomGenerator>
#include <QTest>

using namespace tavo;
using namespace tavo::test;

namespace {

QByteArray fromHex(const QString& spaced) {
    return QByteArray::fromHex(spaced.toLatin1());
}

QString summary(const TrafficRow& row, qint64 epoch) {
    return QStringLiteral("%1 %2|%3|%4|%5")
        .arg(row.time - epoch)
        .arg(kindName(row.kind), QString::fromLatin1(row.address), hexText(row), row.detail);
}

QString repeatedHex(const char* byte, int count) {
    QStringList bytes;
    for (int i = 0; i < count; ++i)
        bytes << QLatin1String(byte);
    return bytes.join(QLatin1Char(' '));
}

} // namespace

class TestTrafficRecorder : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rows_data();
    void rows();
};

// Steps: "load [address]", "send COMMAND", "recv HEX", "burst COUNT HEXBYTE",
// "noise COUNT" (random bytes, fixed seed), "wait MS", "hangup", "close",
// "open", "missing" (the port cannot be opened). An empty `expected` list
// checks only the bounds.
void TestTrafficRecorder::rows_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("maxRows");

    const QString opened = QStringLiteral("0 opened|||9600,N,8,1");
    const QString txStatus = QStringLiteral("0 TX||43 52 30 0D|");
    QTest::newRow("status reply in one piece")
        << QStringList{"load", "send CR0", "wait 20", "recv 30 30 0D", "wait 2000"}
        << QStringList{opened, txStatus, "20 RX||30 30 0D|Power ON"} << 3;
    QTest::newRow("status reply in three pieces is one row")
        << QStringList{"load", "send CR0", "wait 10", "recv 30", "wait 5", "recv 30", "recv 0D"}
        << QStringList{opened, txStatus, "10 RX||30 30 0D|Power ON"} << 3;
    QTest::newRow("acknowledgement")
        << QStringList{"load", "send C00", "wait 30", "recv 06", "wait 2000"}
        << QStringList{opened, "0 TX||43 30 30 0D|", "30 RX||06|"} << 3;
    // An ACK in front of the digits: shown, not decoded.
    QTest::newRow("two replies in one piece")
        << QStringList{"load", "send CR0", "recv 06 30 30 0D"}
        << QStringList{opened, txStatus, "0 RX||06|", "0 RX||30 30 0D|"} << 4;
    QTest::newRow("no reply: the time-out")
        << QStringList{"load", "send CR0", "wait 3000"}
        << QStringList{opened, txStatus, "1000 time-out|||"} << 3;
    QTest::newRow("reply without CR ends at the time-out")
        << QStringList{"load", "send CR1", "wait 10", "recv 35", "wait 3000"}
        << QStringList{opened, "0 TX||43 52 31 0D|", "10 RX||35|Wireless/Viewer"} << 3;
    QTest::newRow("late reply after the time-out")
        << QStringList{"load", "send CR0", "wait 1200", "recv 30 30 0D"}
        << QStringList{opened, txStatus, "1000 time-out|||", "1200 RX||30 30 0D|Power ON"} << 4;
    QTest::newRow("addressed command: framed, reply not decoded")
        << QStringList{"load A001", "send CR0", "recv 30 30 0D"}
        << QStringList{"0 opened|A001||9600,N,8,1", "0 TX|A001|41 30 30 31 43 52 30 0D|",
                       "0 RX|A001|30 30 0D|"}
        << 3;
    QTest::newRow("port closed: not sent, no time-out")
        << QStringList{"send CR0", "wait 20000"}
        << QStringList{"0 not sent||43 52 30 0D|the port is closed"} << 1;
    QTest::newRow("link lost in the middle of a reply")
        << QStringList{"load", "send CR0", "recv 30", "hangup", "send CR0"}
        << QStringList{opened, txStatus, "0 RX||30|", "0 lost|||the device went away",
                       "0 not sent||43 52 30 0D|the port is closed"}
        << 5;
    QTest::newRow("closed and opened again")
        << QStringList{"load", "close", "wait 5", "open"}
        << QStringList{opened, "0 closed|||", "5 opened|||9600,N,8,1"} << 3;
    QTest::newRow("port cannot be opened")
        << QStringList{"missing", "load"}
        << QStringList{"0 open failed|||No such file or directory"} << 1;
    QTest::newRow("idle noise: NUL, DEL and bytes above 0x7F, one row")
        << QStringList{"load", "recv 00 FF 80 7F 7B", "wait 400", "recv 01", "wait 2000"}
        << QStringList{opened, "0 RX||00 FF 80 7F 7B 01|"} << 2;
    QTest::newRow("1 MiB without CR: one bounded row")
        << QStringList{"load", "burst 1048576 FF", "wait 2000"}
        << QStringList{opened,
                       "0 RX||" + repeatedHex("FF", TrafficRow::kByteLimit) +
                           QStringLiteral(" +%1 bytes").arg(1048576 - TrafficRow::kByteLimit) + "|"}
        << 2;
    QTest::newRow("1 MiB of random noise: rows per reply end, not per byte")
        << QStringList{"load", "noise 1048576", "wait 2000"} << QStringList{} << 1048576 / 128;
    QTest::newRow("noise flood during a status read")
        << QStringList{"load", "send CR0", "noise 65536", "wait 2000", "send CR0", "recv 30 30 0D"}
        << QStringList{} << 65536 / 128;
}

void TestTrafficRecorder::rows() {
    QFETCH(QStringList, steps);
    QFETCH(QStringList, expected);
    QFETCH(int, maxRows);

    RecordingFixture f;
    QRandomGenerator random(7300);
    qint64 receivedBytes = 0;
    for (const QString& step : steps) {
        const QString op = step.section(QLatin1Char(' '), 0, 0);
        const QString arg = step.section(QLatin1Char(' '), 1);
        if (op == QLatin1String("load")) {
            f.load(arg);
        } else if (op == QLatin1String("send")) {
            f.panelSend(arg.toLatin1());
        } else if (op == QLatin1String("recv")) {
            receivedBytes += fromHex(arg).size();
            f.wire.receive(fromHex(arg));
        } else if (op == QLatin1String("burst")) {
            const int count = arg.section(QLatin1Char(' '), 0, 0).toInt();
            receivedBytes += count;
            f.wire.receive(QByteArray(count, fromHex(arg.section(QLatin1Char(' '), 1)).at(0)));
        } else if (op == QLatin1String("noise")) {
            QByteArray bytes(arg.toInt(), Qt::Uninitialized);
            for (char& c : bytes)
                c = char(random.bounded(256));
            receivedBytes += bytes.size();
            // In the pieces a driver hands over.
            for (int at = 0; at < bytes.size(); at += 4096)
                f.wire.receive(bytes.mid(at, 4096));
        } else if (op == QLatin1String("wait")) {
            f.clock.advance(arg.toInt());
        } else if (op == QLatin1String("hangup")) {
            f.wire.hangUp();
        } else if (op == QLatin1String("close")) {
            f.port.setPortOpen(false);
        } else if (op == QLatin1String("open")) {
            QVERIFY(f.port.setPortOpen(true));
        } else if (op == QLatin1String("missing")) {
            f.wire.missing.insert(1);
        } else {
            QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
        }
    }

    QStringList got;
    qint64 recordedBytes = 0;
    for (const TrafficRow& row : f.rows) {
        got << summary(row, f.epoch);
        QVERIFY(row.bytes.size() <= TrafficRow::kByteLimit);
        if (row.kind == TrafficKind::Rx)
            recordedBytes += row.bytes.size() + row.moreBytes;
        // The file's line: valid UTF-8, one line, tabs only between the fields.
        const QByteArray line = fileLine(row);
        QCOMPARE(QString::fromUtf8(line).toUtf8(), line);
        QCOMPARE(line.count('\t'), 6);
        for (const char c : line)
            QVERIFY2(uchar(c) >= 0x20 || c == '\t', line.constData());
    }
    if (!expected.isEmpty())
        QCOMPARE(got, expected);
    QVERIFY2(f.rows.size() <= maxRows, qPrintable(QString::number(f.rows.size())));
    QCOMPARE(recordedBytes, receivedBytes); // every byte received is in a row or counted there
}

TAVO_TEST_CLASS(TestTrafficRecorder)
#include "tst_traffic_recorder.moc"
