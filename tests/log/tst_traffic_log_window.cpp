// The Traffic Log window over a ring of rows: the columns as the operator reads
// them, the filter, Save As, Clear, and a full ring dropping its oldest rows.

#include "TrafficLog.h"
#include "TrafficLogModel.h"
#include "TrafficLogWindow.h"

#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace tavo;

namespace {

TrafficRow makeRow(qint64 time, TrafficKind kind, const QByteArray& bytes,
                   const QString& detail = QString()) {
    TrafficRow row;
    row.time = time;
    row.kind = kind;
    row.port = QStringLiteral("COM1 /dev/ttyUSB0");
    row.bytes = bytes;
    row.detail = detail;
    return row;
}

const qint64 kNoon = QDateTime(QDate(2026, 12, 7), QTime(12, 0)).toMSecsSinceEpoch();

// A status read answered, a command unanswered, and noise.
void fill(TrafficLog& log) {
    log.append(makeRow(kNoon, TrafficKind::Tx, "CR0\r"));
    log.append(makeRow(kNoon + 12, TrafficKind::Rx, "00\r", QStringLiteral("Power ON")));
    log.append(makeRow(kNoon + 3000, TrafficKind::Tx, "C00\r"));
    log.append(makeRow(kNoon + 4000, TrafficKind::TimeOut, {}));
    TrafficRow noise = makeRow(kNoon + 5000, TrafficKind::Rx, QByteArray("\x00\xff\x80\x7f", 4));
    noise.moreBytes = 1000;
    log.append(noise);
}

QString cell(TrafficLogWindow& w, int row, int column) {
    return w.shownRows().index(row, column).data().toString();
}

} // namespace

class TestTrafficLogWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void columns_data();
    void columns();
    void filter_data();
    void filter();
    void saveAsWritesTheRowsShown();
    void rowsArrivingWhileOpenAndClear();
    void fullRingDropsTheOldest();
};

void TestTrafficLogWindow::columns_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<QStringList>("cells"); // time, kind, port, address, rendering, hex, decoded

    QTest::newRow("command") << 0
                             << QStringList{
                                    "12:00:00.000", "TX", "COM1 /dev/ttyUSB0", "", " C R 0  [CR] ",
                                    "43 52 30 0D",  ""};
    QTest::newRow("status reply") << 1 << QStringList{"12:00:00.012",      "RX",
                                                      "COM1 /dev/ttyUSB0", "",
                                                      " 0 0  [CR] ",       "30 30 0D",
                                                      "Power ON"};
    QTest::newRow("time-out")
        << 3
        << QStringList{"12:00:04.000", "time-out", "COM1 /dev/ttyUSB0", "", " X X X X ", "", ""};
    QTest::newRow("noise in hex") << 4 << QStringList{"12:00:05.000",
                                                      "RX",
                                                      "COM1 /dev/ttyUSB0",
                                                      "",
                                                      " ? ? ? ? ",
                                                      "00 FF 80 7F +1000 bytes",
                                                      ""};
}

void TestTrafficLogWindow::columns() {
    QFETCH(int, row);
    QFETCH(QStringList, cells);
    TrafficLog log;
    fill(log);
    TrafficLogWindow w(log);
    QCOMPARE(w.windowTitle(), QStringLiteral("Traffic Log"));
    QCOMPARE(w.shownRows().rowCount(), 5);
    QStringList got;
    for (int column = 0; column < TrafficLogModel::ColumnCount; ++column)
        got << cell(w, row, column);
    QCOMPARE(got, cells);
}

void TestTrafficLogWindow::filter_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("kinds");
    QTest::newRow("none") << QString() << QStringList{"TX", "RX", "TX", "time-out", "RX"};
    QTest::newRow("decoded words, any case") << "power on" << QStringList{"RX"};
    QTest::newRow("hex") << "FF 80" << QStringList{"RX"};
    QTest::newRow("kind") << "time-out" << QStringList{"time-out"};
    QTest::newRow("time") << "12:00:00" << QStringList{"TX", "RX"};
    QTest::newRow("date, in the line though not in a column")
        << "2026-12-07T" << QStringList{"TX", "RX", "TX", "time-out", "RX"};
    QTest::newRow("nothing matches") << "A004" << QStringList{};
}

// Typed into the box, as the operator does; the rows follow a moment later.
void TestTrafficLogWindow::filter() {
    QFETCH(QString, text);
    QFETCH(QStringList, kinds);
    TrafficLog log;
    fill(log);
    TrafficLogWindow w(log);
    w.show();
    auto* box = w.findChild<QLineEdit*>(QStringLiteral("filter"));
    QVERIFY(box);
    QTest::keyClicks(box, text);
    auto shownKinds = [&] {
        QStringList got;
        for (int i = 0; i < w.shownRows().rowCount(); ++i)
            got << cell(w, i, TrafficLogModel::Kind);
        return got;
    };
    QTRY_COMPARE(shownKinds(), kinds);
}

void TestTrafficLogWindow::saveAsWritesTheRowsShown() {
    TrafficLog log;
    fill(log);
    TrafficLogWindow w(log);
    w.setFilterText(QStringLiteral("RX"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.txt"));
    QVERIFY(w.saveTo(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QCOMPARE(text, fileLine(log.row(1)) + '\n' + fileLine(log.row(4)) + '\n');
    QVERIFY(text.startsWith(isoLocalTime(kNoon + 12).toUtf8() +
                            "\tRX\tCOM1 /dev/ttyUSB0\t\t30 30 0D\t 0 0  [CR] \tPower ON\n"));

    QString error;
    QVERIFY(!w.saveTo(dir.filePath(QStringLiteral("no-such-folder/report.txt")), &error));
    QVERIFY(!error.isEmpty());
}

void TestTrafficLogWindow::rowsArrivingWhileOpenAndClear() {
    TrafficLog log;
    TrafficLogWindow w(log);
    int statusAsked = 0;
    w.setStatusSource([&] {
        ++statusAsked;
        return QStringLiteral("COM1 → /dev/ttyUSB0 · 9600 baud · open");
    });
    w.show();
    fill(log);
    QTRY_COMPARE(w.shownRows().rowCount(), 5);
    QCOMPARE(w.statusText(), QStringLiteral("COM1 → /dev/ttyUSB0 · 9600 baud · open"));
    QVERIFY(statusAsked >= 2); // asked again when rows came in
    w.clearRows();
    QCOMPARE(w.shownRows().rowCount(), 0);
    QCOMPARE(log.size(), 0);
    log.append(makeRow(kNoon, TrafficKind::Lost, {}, QStringLiteral("the device went away")));
    QTRY_COMPARE(w.shownRows().rowCount(), 1);
    QCOMPARE(cell(w, 0, TrafficLogModel::Kind), QStringLiteral("lost"));
}

void TestTrafficLogWindow::fullRingDropsTheOldest() {
    TrafficLog log(TrafficLog::kDefaultCapacity);
    for (int i = 0; i < TrafficLog::kDefaultCapacity + 5; ++i)
        log.append(makeRow(kNoon + i, TrafficKind::Rx, QByteArray::number(i)));
    TrafficLogWindow w(log);
    w.show();
    QCOMPARE(w.shownRows().rowCount(), TrafficLog::kDefaultCapacity);
    QCOMPARE(cell(w, 0, TrafficLogModel::Hex), QStringLiteral("35")); // row 5 is the oldest
    QVERIFY2(
        w.noticeText().contains(QStringLiteral("keeps the newest 100000 rows; 5 older dropped")),
        qPrintable(w.noticeText()));
    log.append(makeRow(kNoon, TrafficKind::Rx, "x"));
    QTRY_COMPARE(cell(w, TrafficLog::kDefaultCapacity - 1, TrafficLogModel::Hex),
                 QStringLiteral("78"));
    QCOMPARE(w.shownRows().rowCount(), TrafficLog::kDefaultCapacity);
    QCOMPARE(cell(w, 0, TrafficLogModel::Hex), QStringLiteral("36"));
    QVERIFY(w.noticeText().contains(QStringLiteral("6 older dropped")));
}

QTEST_MAIN(TestTrafficLogWindow)
#include "tst_traffic_log_window.moc"
