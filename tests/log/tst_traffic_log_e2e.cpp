// The whole program in this process, its port on a pseudo-terminal: STATUS is
// clicked, the projector answers, and the exchange is in the day's log file
// and in the Traffic Log window that Ctrl+L opens; with the log folder
// unusable, or today's file a FIFO, the link works the same, the window says
// so once and the program still ends; with the file turned off in the
// settings nothing is written.

#include "PseudoTerminal.h"

#include "Application.h"
#include "TrafficFileWriter.h"
#include "TrafficLogModel.h"
#include "TrafficLogWindow.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

using namespace tavo;

namespace {

enum class LogFolder { Usable, TavoIsAFile, TodayIsAFifo, TurnedOff };

bool writeText(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

// The line of the day's file that ends with `rest` after its time field, and
// whose time lies between `from` and `to`.
bool hasLine(const QString& folder, const QByteArray& rest, qint64 from, qint64 to) {
    for (const QDate& day :
         {QDateTime::fromMSecsSinceEpoch(from).date(), QDateTime::fromMSecsSinceEpoch(to).date()}) {
        QFile file(folder + QLatin1Char('/') + TrafficFileWriter::fileNameFor(day));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const int tab = line.indexOf('\t');
            if (tab < 0 || line.mid(tab) != rest)
                continue;
            const QDateTime time =
                QDateTime::fromString(QString::fromLatin1(line.left(tab)), Qt::ISODateWithMs);
            if (time.isValid() && time.toMSecsSinceEpoch() >= from - 1 &&
                time.toMSecsSinceEpoch() <= to + 1)
                return true;
        }
    }
    return false;
}

} // namespace

class TestTrafficLogEndToEnd : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void statusReadIsRecorded_data();
    void statusReadIsRecorded();
    void logOpensFromEveryWindow_data();
    void logOpensFromEveryWindow();
};

void TestTrafficLogEndToEnd::statusReadIsRecorded_data() {
    QTest::addColumn<int>("folder");
    QTest::newRow("log file on by default") << int(LogFolder::Usable);
    QTest::newRow("log folder cannot be made") << int(LogFolder::TavoIsAFile);
    QTest::newRow("today's log file is a FIFO") << int(LogFolder::TodayIsAFifo);
    QTest::newRow("[Log] Enabled=false") << int(LogFolder::TurnedOff);
}

void TestTrafficLogEndToEnd::statusReadIsRecorded() {
    QFETCH(int, folder);
    QTemporaryDir root;
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    const QString config = root.filePath(QStringLiteral("config"));
    const QString state = root.filePath(QStringLiteral("state"));
    qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    qputenv("XDG_STATE_HOME", state.toLocal8Bit());
    QByteArray ini =
        "[StartUP]\nComPort=1\nBaudRate=96\n[Ports]\nCOM1=" + pty.slavePath().toLocal8Bit() + "\n";
    if (LogFolder(folder) == LogFolder::TurnedOff)
        ini += "[Log]\nEnabled=false\n";
    QVERIFY(writeText(config + QStringLiteral("/TAVO/TAVO.ini"), ini));
    if (LogFolder(folder) == LogFolder::TavoIsAFile)
        QVERIFY(writeText(state + QStringLiteral("/TAVO"), "not a folder"));
    const QString logFolder = state + QStringLiteral("/TAVO/log");
    const QString fifo =
        logFolder + QLatin1Char('/') + TrafficFileWriter::fileNameFor(QDate::currentDate());
    if (LogFolder(folder) == LogFolder::TodayIsAFifo) {
        QVERIFY(QDir().mkpath(logFolder));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    }

    const qint64 from = QDateTime::currentMSecsSinceEpoch();
    {
        Application app;
        app.form1().setQuit([] {});
        app.start();
        QVERIFY(app.form1().link().portOpen());
        QVERIFY(QTest::qWaitForWindowActive(&app.form1()));
        auto* status = app.form1().controls().widget<QPushButton>(QStringLiteral("Command44"));
        auto* line = app.form1().controls().widget<QLabel>(QStringLiteral("Label25"));
        for (int i = 0; i < 3; ++i) {
            app.form1().link().setLine(Line::Label25, QString());
            QTest::mouseClick(status, Qt::LeftButton);
            QByteArray sent;
            QVERIFY(pty.readUntil('\r', 5000, &sent));
            QCOMPARE(sent, QByteArray("CR0\r"));
            QVERIFY(pty.write("00\r"));
            QTRY_COMPARE_WITH_TIMEOUT(line->text(), QStringLiteral(" Power ON"), 5000);
        }

        // Ctrl+L on the panel: the window, with the replies decoded.
        QVERIFY(!app.traffic().window());
        QTest::keyClick(&app.form1(), Qt::Key_L, Qt::ControlModifier);
        QTRY_VERIFY(app.traffic().window() && app.traffic().window()->isVisible());
        TrafficLogWindow& window = *app.traffic().window();
        QCOMPARE(window.windowTitle(), QStringLiteral("Traffic Log"));
        QTRY_VERIFY(window.shownRows().rowCount() >= 7); // opened, then three TX and RX
        window.setFilterText(QStringLiteral("Power ON"));
        QCOMPARE(window.shownRows().rowCount(), 3);
        QVERIFY2(window.statusText().startsWith(QStringLiteral("COM1 → ") + pty.slavePath() +
                                                QStringLiteral(" · 9600 baud · open")),
                 qPrintable(window.statusText()));

        if (auto* file = app.traffic().file())
            file->drain();
        QCoreApplication::processEvents();
        if (LogFolder(folder) == LogFolder::TavoIsAFile) {
            QTRY_COMPARE(app.traffic().logProblemReports(), 1);
            QTRY_VERIFY2(window.noticeText().contains(QStringLiteral("log file: cannot make")),
                         qPrintable(window.noticeText()));
        } else if (LogFolder(folder) == LogFolder::TodayIsAFifo) {
            QTRY_COMPARE(app.traffic().logProblemReports(), 1);
            QTRY_VERIFY2(window.noticeText().contains(QStringLiteral("log file: cannot open ") +
                                                      fifo + QStringLiteral(": it is not a ")),
                         qPrintable(window.noticeText()));
        } else {
            QCOMPARE(app.traffic().logProblemReports(), 0);
            QVERIFY2(window.noticeText().isEmpty(), qPrintable(window.noticeText()));
        }
    }
    const qint64 to = QDateTime::currentMSecsSinceEpoch();

    const QByteArray port = "COM1 " + pty.slavePath().toLocal8Bit();
    const QByteArray reply = "\tRX\t" + port + "\t\t30 30 0D\t 0 0  [CR] \tPower ON";
    const QByteArray command = "\tTX\t" + port + "\t\t43 52 30 0D\t C R 0  [CR] \t";
    switch (LogFolder(folder)) {
    case LogFolder::Usable:
        QVERIFY(hasLine(logFolder, reply, from, to));
        QVERIFY(hasLine(logFolder, command, from, to));
        break;
    case LogFolder::TavoIsAFile:
        QVERIFY(QFileInfo(state + QStringLiteral("/TAVO")).isFile());
        break;
    case LogFolder::TodayIsAFifo:
        QVERIFY(!QFileInfo(fifo).isFile());
        break;
    case LogFolder::TurnedOff:
        QVERIFY(!QFileInfo::exists(logFolder));
        break;
    }
}

void TestTrafficLogEndToEnd::logOpensFromEveryWindow_data() {
    QTest::addColumn<QString>("from");
    QTest::newRow("Ctrl+L on the panel") << "Form1";
    QTest::newRow("Ctrl+L on the command console") << "Form3";
    QTest::newRow("Ctrl+L on the port dialog") << "Form2";
    QTest::newRow("the panel's context menu") << "menu";
}

void TestTrafficLogEndToEnd::logOpensFromEveryWindow() {
    QFETCH(QString, from);
    QTemporaryDir root;
    PseudoTerminal pty;
    qputenv("XDG_CONFIG_HOME", root.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_STATE_HOME", root.filePath(QStringLiteral("state")).toLocal8Bit());
    QVERIFY(writeText(root.filePath(QStringLiteral("config/TAVO/TAVO.ini")),
                      "[StartUP]\nComPort=1\nBaudRate=96\n[Ports]\nCOM1=" +
                          pty.slavePath().toLocal8Bit() + "\n"));
    Application app;
    app.form1().setQuit([] {});
    app.start();
    QVERIFY(app.form1().link().portOpen());

    if (from == QLatin1String("menu")) {
        QStringList entries;
        QTimer::singleShot(0, &app.form1(), [&entries] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            for (QAction* action : menu->actions()) {
                entries << action->text();
                if (action->text().startsWith(QLatin1String("Traffic Log")))
                    QVERIFY(action->toolTip().contains(QLatin1String("Ctrl+L")));
            }
            menu->actions().value(2)->trigger();
            menu->close();
        });
        Q_EMIT app.form1().customContextMenuRequested(QPoint(20, 20));
        QCOMPARE(entries, (QStringList{"Port dialog", "Command Table", "Traffic Log\tCtrl+L"}));
    } else {
        if (from == QLatin1String("Form3"))
            QTest::mouseClick(
                app.form1().controls().widget<QPushButton>(QStringLiteral("Command74")),
                Qt::LeftButton);
        if (from == QLatin1String("Form2"))
            QTest::mouseClick(
                app.form1().controls().widget<QPushButton>(QStringLiteral("Command33")),
                Qt::LeftButton);
        QWidget* window = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == from && w->isVisible())
                window = w;
        }
        QVERIFY(window);
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_L, Qt::ControlModifier);
    }
    QTRY_VERIFY(app.traffic().window() && app.traffic().window()->isVisible());
    QCOMPARE(app.traffic().window()->windowTitle(), QStringLiteral("Traffic Log"));
    // What happened before it was opened is there: the port opened at start-up.
    QTRY_VERIFY(app.traffic().window()->shownRows().rowCount() >= 1);
    QCOMPARE(app.traffic().window()->shownRows().index(0, TrafficLogModel::Kind).data(),
             QVariant(QStringLiteral("opened")));
}

QTEST_MAIN(TestTrafficLogEndToEnd)
#include "tst_traffic_log_e2e.moc"
