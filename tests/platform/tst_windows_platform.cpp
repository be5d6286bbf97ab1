// The Windows side of the platform layer, run under Wine: what the file readers refuse, and the
// system's requests to stop reaching the event loop.
#include "BoundedFileRead.h"
#include "IniLineEditor.h"
#include "RegularFileAppend.h"
#include "ShutdownSignals.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <windows.h>

using namespace tavo;

class WindowsPlatformTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString made(const QString& kind) {
        const QString path = m_dir.filePath(kind);
        if (kind == QLatin1String("file") || kind == QLatin1String("large")) {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly))
                return {};
            file.write(kind == QLatin1String("file") ? "[Ports]\nCOM1=COM1\n"
                                                     : QByteArray(2 * 1024 * 1024, 'x'));
        } else if (kind == QLatin1String("folder")) {
            QDir().mkpath(path);
        } else if (kind == QLatin1String("device")) {
            return QStringLiteral("\\\\.\\NUL");
        }
        return path;
    }

private slots:
    void init() { QVERIFY(m_dir.isValid()); }

    // One row per thing that may stand at a settings, site or log file's name; what each reader
    // makes of it.
    void filesRefused_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("siteError"); // readRegularFile's reason
        QTest::addColumn<bool>("iniReadable");  // readIniKeyRaw finds the key
        QTest::addColumn<QString>("iniReason"); // unreadableReason
        QTest::addColumn<bool>("appendable");   // openRegularFileToAppend
        QTest::newRow("file") << "file" << QString() << true << QString() << true;
        QTest::newRow("missing") << "missing"
                                 << "does not exist" << false << QString() << true;
        QTest::newRow("folder") << "folder"
                                << "is a directory, not a file" << false << "Is a directory"
                                << false;
        QTest::newRow("device NUL")
            << "device"
            << "is a device, not a file" << false << "Not a regular file" << false;
        QTest::newRow("2 MiB") << "large"
                               << "is larger than 1024 KiB" << false
                               << "File too large (larger than 1 MiB)" << true;
    }
    void filesRefused() {
        QFETCH(QString, kind);
        QFETCH(QString, siteError);
        QFETCH(bool, iniReadable);
        QFETCH(QString, iniReason);
        QFETCH(bool, appendable);
        const QString path = made(kind);
        QVERIFY(!path.isEmpty());

        const site::BoundedRead read = site::readRegularFile(path, 1024 * 1024);
        QCOMPARE(read.error, siteError);
        QCOMPARE(read.ok, siteError.isEmpty());
        QCOMPARE(read.bytes.isEmpty(), !read.ok);

        QCOMPARE(readIniKeyRaw(path, QStringLiteral("Ports"), QStringLiteral("COM1")).has_value(),
                 iniReadable);
        if (kind != QLatin1String("device")) // NUL exists only as a device name
            QCOMPARE(unreadableReason(path), iniReason);

        QFile log;
        QString reason;
        QCOMPARE(openRegularFileToAppend(log, path, &reason), appendable);
        QCOMPARE(reason.isEmpty(), appendable);
        if (appendable) {
            QCOMPARE(log.write("line\n"), qint64(5));
            log.close();
            QFile back(path);
            QVERIFY(back.open(QIODevice::ReadOnly));
            QVERIFY(back.readAll().endsWith("line\n"));
        }
    }

    // An INI file edited in place keeps its other lines, also when it was written with CR LF.
    void iniEditKeepsCrLfLines() {
        const QString path = m_dir.filePath(QStringLiteral("crlf.ini"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("; kept\r\n[Log]\r\nEnabled=false\r\n");
        file.close();
        const IniEditResult written = writeIniKey(
            path, QStringLiteral("Log"), QStringLiteral("Enabled"), QStringLiteral("true"));
        QVERIFY2(written.ok, qPrintable(written.error));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("; kept\r\n[Log]\r\nEnabled=true\r\n"));
    }

    // The end of the session (WM_ENDSESSION) reaches the handler once, as SIGTERM; a session that
    // goes on, or a number not asked for, is not reported. (Wine gives a test run by CTest no
    // console, so the console's control events are not exercised here.)
    void stopRequests_data() {
        QTest::addColumn<QString>("request");
        QTest::addColumn<bool>("askTerm"); // SIGTERM among the numbers asked for
        QTest::addColumn<QList<int>>("reported");
        QTest::newRow("session ends") << "endsession" << true << QList<int>{SIGTERM};
        QTest::newRow("session ends, not asked") << "endsession" << false << QList<int>{};
        QTest::newRow("session continues") << "endsession-cancelled" << true << QList<int>{};
    }
    void stopRequests() {
        QFETCH(QString, request);
        QFETCH(bool, askTerm);
        QFETCH(QList<int>, reported);
        QList<int> seen;
        auto record = [&seen](int number) { seen.append(number); };
        ShutdownSignals stops(askTerm ? std::initializer_list<int>{SIGINT, SIGTERM, kHangUpSignal}
                                      : std::initializer_list<int>{SIGINT, kHangUpSignal},
                              record);
        // Thread messages come in order: once the marker behind the request has been seen, the
        // request has been handled.
        MarkerFilter marker;
        QCoreApplication::instance()->installNativeEventFilter(&marker);
        const WPARAM ending = request == QLatin1String("endsession") ? TRUE : FALSE;
        QVERIFY(::PostThreadMessageW(::GetCurrentThreadId(), WM_ENDSESSION, ending, 0));
        QVERIFY(::PostThreadMessageW(::GetCurrentThreadId(), MarkerFilter::kMessage, 0, 0));
        QTRY_VERIFY(marker.seen);
        QCoreApplication::instance()->removeNativeEventFilter(&marker);
        QCOMPARE(seen, reported);
    }

private:
    struct MarkerFilter : QAbstractNativeEventFilter {
        static constexpr UINT kMessage = WM_APP + 7;
        bool seen = false;
        bool nativeEventFilter(const QByteArray&, void* message, qintptr*) override {
            if (static_cast<const MSG*>(message)->message == kMessage)
                seen = true;
            return false;
        }
    };
};

QTEST_GUILESS_MAIN(WindowsPlatformTest)
#include "tst_windows_platform.moc"
