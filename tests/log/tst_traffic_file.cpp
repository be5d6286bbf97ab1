// The daily log files: one line per row in the day's file, old days and the
// oldest beyond the size limit removed (only files named as daily files), a
// day's file that is not a regular file refused, and a folder that cannot be
// written reported once while the link goes on working.

#include "FileSizeLimit.h"
#include "RecordingFixture.h"
#include "Unprivileged.h"

#include "TestClasses.h"
#include "TrafficFileWriter.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tavo;
using namespace tavo::test;

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeSize(const QString& path, int size) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(QByteArray(size, 'x')) == size;
}

enum class Folder { IsAFile, ReadOnly, DiskFull };
enum class Today { FifoNobodyReads, FifoBeingRead, LinkToAFile, LinkToNowhere };

// The read end of a FIFO, held open while it lives.
struct FifoReader {
    int fd = -1;
    void open(const QString& path) {
        if (fd < 0)
            fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
    }
    ~FifoReader() {
        if (fd >= 0)
            ::close(fd);
    }
};

// Three status reads with the file writer attached: each round trip's command and status line,
// then how many problems were reported and whether the first names the folder.
QByteArray statusReadsWhileLogging(const QString& logFolder) {
    QStringList seen;
    QStringList problems;
    {
        RecordingFixture f;
        TrafficFileWriter writer(logFolder, [&](const QString& p) { problems << p; });
        f.sink = [&](const TrafficRow& row) { writer.write(row); };
        f.load();
        for (int i = 0; i < 3; ++i) {
            f.panelSend("CR0");
            f.wire.receive("00\r");
            seen << QString::fromLatin1(f.wire.writes.last().trimmed()) + QLatin1Char(':') +
                        f.view.line(Line::Label25).trimmed();
            f.clock.advance(2000);
            writer.drain(); // each attempt fails on its own
        }
        // The report is queued to this thread.
        QTest::qWaitFor([&] { return !problems.isEmpty(); }, 10000);
        QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    seen << QStringLiteral("problems:%1").arg(problems.size());
    if (!problems.isEmpty())
        seen << (problems[0].contains(logFolder) ? QStringLiteral("names the folder")
                                                 : problems[0]);
    return seen.join(QLatin1Char('|')).toUtf8();
}

} // namespace

class TestTrafficFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void retention_data();
    void retention();
    void todaysFileNotARegularFileIsRefused_data();
    void todaysFileNotARegularFileIsRefused();
    void unwritableLogLeavesTheLinkWorking_data();
    void unwritableLogLeavesTheLinkWorking();
};

// Files found in the folder ("name:size"), the limits, and what is left after
// the day's first row (the rows are dated 2026-12-07).
void TestTrafficFile::retention_data() {
    QTest::addColumn<QStringList>("found");
    QTest::addColumn<int>("days");
    QTest::addColumn<int>("totalBytes");
    QTest::addColumn<QStringList>("left");
    QTest::addColumn<bool>("written");
    QTest::addColumn<bool>("linkedFolder"); // the log folder is a link to a folder of other files

    QTest::newRow("first day") << QStringList{} << 30 << 1000000 << QStringList{"2026-12-07.log"}
                               << true << false;
    QTest::newRow("older than 30 days removed, other files kept")
        << QStringList{"2026-11-07.log:10", "2026-11-08.log:10", "2026-12-06.log:10",
                       "notes.txt:10", "2025-13-40.log:10"}
        << 30 << 1000000
        << QStringList{"2025-13-40.log", "2026-11-08.log", "2026-12-06.log", "2026-12-07.log",
                       "notes.txt"}
        << true << false;
    QTest::newRow("oldest removed beyond the size limit")
        << QStringList{"2026-12-01.log:600", "2026-12-05.log:300", "2026-12-06.log:300"} << 30
        << 1000 << QStringList{"2026-12-05.log", "2026-12-06.log", "2026-12-07.log"} << true
        << false;
    QTest::newRow("beyond the size limit, only its own daily files counted and removed")
        << QStringList{"notes.log:1500",     "app.log:600",         "2026-02-30.log:600",
                       "2026-1-05.log:600",  "x2026-12-04.log:600", "2026-12-04.log.log:600",
                       "2026-12-01.log:800", "2026-12-06.log:300"}
        << 30 << 1000
        << QStringList{"2026-02-30.log", "2026-1-05.log", "2026-12-04.log.log", "2026-12-06.log",
                       "2026-12-07.log", "app.log",       "notes.log",          "x2026-12-04.log"}
        << true << false;
    QTest::newRow("linked folder: written through, its other files kept")
        << QStringList{"app.log:2000", "2026-12-06.log:10"} << 30 << 1000
        << QStringList{"2026-12-06.log", "2026-12-07.log", "app.log"} << true << true;
    QTest::newRow("appends to the day's file") << QStringList{"2026-12-07.log:40"} << 30 << 1000000
                                               << QStringList{"2026-12-07.log"} << true << false;
    QTest::newRow("today's file alone at the limit: it stops there")
        << QStringList{"2026-12-06.log:50", "2026-12-07.log:200"} << 30 << 100
        << QStringList{"2026-12-07.log"} << false << false;
}

void TestTrafficFile::retention() {
    QFETCH(QStringList, found);
    QFETCH(int, days);
    QFETCH(int, totalBytes);
    QFETCH(QStringList, left);
    QFETCH(bool, written);
    QFETCH(bool, linkedFolder);

    QTemporaryDir root;
    const QString folder = root.filePath(QStringLiteral("TAVO/log"));
    if (linkedFolder) {
        QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("elsewhere"))));
        QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("TAVO"))));
        QVERIFY(QFile::link(root.filePath(QStringLiteral("elsewhere")), folder));
    }
    QVERIFY(QDir().mkpath(folder));
    for (const QString& entry : found)
        QVERIFY(writeSize(folder + QLatin1Char('/') + entry.section(QLatin1Char(':'), 0, 0),
                          entry.section(QLatin1Char(':'), 1).toInt()));
    const QString today = folder + QStringLiteral("/2026-12-07.log");
    const QByteArray before = readAll(today);

    QStringList problems;
    RecordingFixture f;
    TrafficFileWriter writer(folder, [&](const QString& p) { problems << p; },
                             {days, totalBytes, 100});
    f.sink = [&](const TrafficRow& row) { writer.write(row); };
    f.load();
    f.panelSend("CR0");
    f.wire.receive("00\r");
    writer.drain();

    QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name), left);
    const QByteArray expected =
        fileLine(f.rows[0]) + '\n' + fileLine(f.rows[1]) + '\n' + fileLine(f.rows[2]) + '\n';
    QCOMPARE(readAll(today), written ? before + expected : before);
    QTRY_COMPARE(problems.size(), written ? 0 : 1);
}

// Whatever stands in the place of today's file, nothing goes into it or
// through it: the reason is reported instead, and the line goes on.
void TestTrafficFile::todaysFileNotARegularFileIsRefused_data() {
    QTest::addColumn<int>("today");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a FIFO nobody reads") << int(Today::FifoNobodyReads) << "not a regular file";
    QTest::newRow("a FIFO being read") << int(Today::FifoBeingRead) << "not a regular file";
    QTest::newRow("a link to another file") << int(Today::LinkToAFile) << "symbolic link";
    QTest::newRow("a link to nowhere") << int(Today::LinkToNowhere) << "symbolic link";
}

void TestTrafficFile::todaysFileNotARegularFileIsRefused() {
    QFETCH(int, today);
    QFETCH(QString, reason);
    QTemporaryDir root;
    const QString folder = root.filePath(QStringLiteral("log"));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/2026-12-07.log");
    const QString other = root.filePath(QStringLiteral("other.txt"));
    FifoReader reader;
    switch (Today(today)) {
    case Today::FifoNobodyReads:
    case Today::FifoBeingRead:
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        if (Today(today) == Today::FifoBeingRead) {
            reader.open(path);
            QVERIFY(reader.fd >= 0);
        }
        break;
    case Today::LinkToAFile:
        QVERIFY(writeSize(other, 7));
        QVERIFY(QFile::link(other, path));
        break;
    case Today::LinkToNowhere:
        QVERIFY(QFile::link(other, path));
        break;
    }

    QStringList problems;
    RecordingFixture f;
    TrafficFileWriter writer(folder, [&](const QString& p) { problems << p; });
    // A writer that waits in open() for a reader is let go before it is joined.
    const auto letGo = qScopeGuard([&] { reader.open(path); });
    f.sink = [&](const TrafficRow& row) { writer.write(row); };
    f.load();
    f.panelSend("CR0");
    f.wire.receive("00\r");
    QCOMPARE(f.view.line(Line::Label25), QStringLiteral(" Power ON"));

    QTRY_COMPARE(problems.size(), 1);
    QVERIFY2(problems[0].startsWith(QStringLiteral("cannot open ") + path),
             qPrintable(problems[0]));
    QVERIFY2(problems[0].contains(reason), qPrintable(problems[0]));
    writer.drain();
    QCOMPARE(readAll(other),
             Today(today) == Today::LinkToAFile ? QByteArray(7, 'x') : QByteArray());
    QCOMPARE(QFileInfo::exists(other), Today(today) == Today::LinkToAFile);
    if (reader.fd >= 0) {
        char byte = 0;
        QVERIFY(::read(reader.fd, &byte, 1) <= 0);
    }
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
             QStringList{"2026-12-07.log"});
}

void TestTrafficFile::unwritableLogLeavesTheLinkWorking_data() {
    QTest::addColumn<int>("folder");
    QTest::newRow("the log folder is a file") << int(Folder::IsAFile);
    QTest::newRow("read-only folder") << int(Folder::ReadOnly);
    QTest::newRow("disk full") << int(Folder::DiskFull);
}

// Root ignores the read-only mode: that row then runs in a child process as "nobody".
void TestTrafficFile::unwritableLogLeavesTheLinkWorking() {
    QFETCH(int, folder);
    Account nobody;
    const bool asNobody = Folder(folder) == Folder::ReadOnly && runningAsRoot();
    if (asNobody && !nobodyAccount(&nobody))
        QSKIP("running as root without a user \"nobody\" to drop privileges to");
    QTemporaryDir root;
    const QString logFolder = root.filePath(QStringLiteral("log"));
    std::unique_ptr<FileSizeLimit> limit;
    switch (Folder(folder)) {
    case Folder::IsAFile:
        QVERIFY(writeSize(logFolder, 1));
        break;
    case Folder::ReadOnly:
        QVERIFY(QDir().mkpath(logFolder));
        if (asNobody)
            QVERIFY(giveTree(root.path(), nobody));
        QVERIFY(QFile::setPermissions(logFolder, QFile::ReadOwner | QFile::ExeOwner));
        break;
    case Folder::DiskFull:
        QVERIFY(QDir().mkpath(logFolder));
        QVERIFY(writeSize(logFolder + QStringLiteral("/2026-12-07.log"), 100));
        limit = std::make_unique<FileSizeLimit>(100);
        QVERIFY(limit->active());
        break;
    }

    const auto work = [&] { return statusReadsWhileLogging(logFolder); };
    const QByteArray seen = asNobody ? runAs(nobody, work) : work();
    QCOMPARE(seen,
             QByteArray("CR0:Power ON|CR0:Power ON|CR0:Power ON|problems:1|names the folder"));
    limit.reset();
    QFile::setPermissions(logFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TAVO_TEST_CLASS(TestTrafficFile)
#include "tst_traffic_file.moc"
