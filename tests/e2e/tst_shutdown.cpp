// The real program on a pseudo-terminal, ended from outside: by SIGTERM,
// SIGHUP and SIGINT it ends as through its close box (address stored, port
// closed, lock file gone, status 0), also while the start-up port dialog is
// open; when its display goes away it still closes the port on the way out.
// A second copy can open the port at once.

#include "PseudoTerminal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

constexpr int kDisplayLost = 0; // the "signal" column: the X server is killed

// Where Qt puts the UUCP lock file of `device`: the first of its lock folders
// that holds one.
QString lockFileOf(const QString& device) {
    const QString name = QStringLiteral("LCK..") + device.mid(5).replace(QLatin1Char('/'), '_');
    for (const char* folder : {"/var/lock", "/run/lock", "/var/spool/locks", "/tmp", "/var/tmp"}) {
        const QString path = QLatin1String(folder) + QLatin1Char('/') + name;
        if (QFileInfo::exists(path))
            return path;
    }
    return {};
}

// True once the process catches all of `wanted` (its handlers are in place).
bool catches(qint64 pid, std::initializer_list<int> wanted) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (!line.startsWith("SigCgt:"))
            continue;
        bool ok = false;
        const qulonglong mask = line.mid(7).trimmed().toULongLong(&ok, 16);
        for (const int signalNumber : wanted) {
            if (!ok || !(mask & (1ULL << (signalNumber - 1))))
                return false;
        }
        return true;
    }
    return false;
}

QString storedAddress(const QString& file) {
    const QSettings ini(file, QSettings::IniFormat);
    return ini.value(QStringLiteral("StartUP/ADRESS"), QStringLiteral("(none)")).toString();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

} // namespace

class TestShutdown : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void endsLikeTheCloseBox_data();
    void endsLikeTheCloseBox();

private:
    bool startDisplay(QProcess& server, QString* display);
};

bool TestShutdown::startDisplay(QProcess& server, QString* display) {
    server.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                          QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!server.waitForStarted(10000))
        return false;
    QByteArray number;
    while (!number.contains('\n') && server.waitForReadyRead(10000))
        number += server.readAllStandardOutput();
    *display = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
    return number.contains('\n');
}

void TestShutdown::endsLikeTheCloseBox_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<bool>("linked"); // a usable port stored, or the start-up dialog
    QTest::newRow("SIGTERM") << int(SIGTERM) << true;
    QTest::newRow("SIGHUP") << int(SIGHUP) << true;
    QTest::newRow("SIGINT") << int(SIGINT) << true;
    QTest::newRow("SIGTERM in the start-up port dialog") << int(SIGTERM) << false;
    QTest::newRow("display lost") << kDisplayLost << true;
}

void TestShutdown::endsLikeTheCloseBox() {
    QFETCH(int, signalNumber);
    QFETCH(bool, linked);
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    QTemporaryDir config;
    QVERIFY(QDir().mkpath(config.filePath(QStringLiteral("TAVO"))));
    const QString file = config.filePath(QStringLiteral("TAVO/TAVO.ini"));
    const QByteArray ports = "[Ports]\nCOM1=" + pty.slavePath().toUtf8() + "\n";
    QVERIFY(writeFile(file,
                      linked ? ports + "[StartUP]\nComPort=1\nBaudRate=96\nADRESS=A003\n" : ports));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    QProcess display;
    if (signalNumber == kDisplayLost) {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            QSKIP("Xvfb is not installed (setup.sh installs xvfb)");
        QString name;
        QVERIFY2(startDisplay(display, &name), "Xvfb did not start");
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("DISPLAY"), name);
    } else {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }

    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(MX7300_CONTROL_PATH), {});
    QVERIFY2(program.waitForStarted(10000), qPrintable(program.errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(catches(program.processId(), {SIGTERM, SIGHUP, SIGINT}), 10000);
    QString lock;
    if (linked) {
        QTRY_VERIFY_WITH_TIMEOUT(!(lock = lockFileOf(pty.slavePath())).isEmpty(), 10000);
        // Without the key, what is there afterwards was stored by the ending.
        QVERIFY(writeFile(file, ports + "[StartUP]\nComPort=1\nBaudRate=96\n"));
    }

    if (signalNumber == kDisplayLost) {
        display.kill();
        QVERIFY(display.waitForFinished(10000));
    } else {
        ::kill(pid_t(program.processId()), signalNumber);
    }
    QVERIFY(program.waitForFinished(10000));
    const QByteArray errors = program.readAllStandardError();
    QCOMPARE(program.exitStatus(), QProcess::NormalExit); // no crash, not killed
    if (signalNumber != kDisplayLost) // Qt chooses the status when the display goes
        QCOMPARE(program.exitCode(), 0);
    QCOMPARE(storedAddress(file), linked ? QStringLiteral("A003") : QString());
    if (!linked)
        return;
    QVERIFY2(!QFileInfo::exists(lock), errors.constData());

    // A second copy takes the port at once: its own lock file appears.
    QProcess second;
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(MX7300_CONTROL_PATH), {});
    QVERIFY(second.waitForStarted(10000));
    const QByteArray pid = QByteArray::number(second.processId());
    auto lockedBySecond = [&] {
        QFile held(lockFileOf(pty.slavePath()));
        return held.open(QIODevice::ReadOnly) && held.readAll().trimmed().startsWith(pid);
    };
    QTRY_VERIFY_WITH_TIMEOUT(lockedBySecond(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(catches(second.processId(), {SIGTERM}), 10000);
    ::kill(pid_t(second.processId()), SIGTERM);
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestShutdown)
#include "tst_shutdown.moc"
