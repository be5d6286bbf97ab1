#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

// The real mx7300-sim on a real pseudo-terminal, seen by a client using nothing but POSIX.
class TestSimProcess : public QObject {
    Q_OBJECT
private slots:
    void answersOnThePseudoTerminalAndRegistersThePort();
    void registrationEditsOnlyItsEntry_data();
    void registrationEditsOnlyItsEntry();
    void staleEntryReplacedLiveOneRefused();

private:
    static QByteArray readReply(int fd, int expectedBytes);
};

namespace {

// A settings file as a person keeps it: comments, odd spacing, other sections,
// other ports, and (below [Ports]) a line with an open quote.
const QByteArray kHandKept = "; my bench\n"
                             "# two projectors\n"
                             "[StartUP]\n"
                             "ComPort = 9\n"
                             "ADRESS=A002\n"
                             "\n"
                             "[Ports]\n"
                             "; the real adapter\n"
                             "COM1=/dev/ttyUSB0\n"
                             "COM10=/dev/ttyS0\n"
                             "\n"
                             "[Notes]\n"
                             "text=\"unfinished\n"
                             "more=lines\n";

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// The file without the lines a registration of port 9 adds.
QByteArray withoutCom9(const QByteArray& text) {
    QList<QByteArray> kept;
    for (const QByteArray& line : text.split('\n')) {
        if (!line.startsWith("COM9=") && !line.startsWith("COM9.sim-pid="))
            kept << line;
    }
    return kept.join('\n');
}

QString registeredDevice(const QString& path) {
    return QSettings(path, QSettings::IniFormat).value(QStringLiteral("Ports/COM9")).toString();
}

// A simulator registering port 9; returns its device, empty when it did not start.
QString startRegistered(QProcess& sim, const QString& configHome) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    sim.setProcessEnvironment(env);
    sim.start(QStringLiteral(MX7300_SIM_PATH),
              {QStringLiteral("--register"), QStringLiteral("9"), QStringLiteral("--quiet")});
    if (!sim.waitForStarted(10000))
        return {};
    while (!sim.canReadLine() && sim.waitForReadyRead(10000)) {
    }
    return QString::fromLocal8Bit(sim.readLine()).trimmed();
}

} // namespace

QByteArray TestSimProcess::readReply(int fd, int expectedBytes) {
    QByteArray reply;
    const QDeadlineTimer deadline(10000);
    while (reply.size() < expectedBytes && !deadline.hasExpired()) {
        pollfd waitFor{fd, POLLIN, 0};
        if (::poll(&waitFor, 1, int(deadline.remainingTime())) <= 0)
            continue;
        char buffer[64];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            reply.append(buffer, n);
    }
    return reply;
}

void TestSimProcess::answersOnThePseudoTerminalAndRegistersThePort() {
    QTemporaryDir config;
    QVERIFY(config.isValid());
    const QString iniFile = config.path() + QStringLiteral("/TAVO/TAVO.ini");
    {
        QSettings before(iniFile, QSettings::IniFormat);
        before.setValue(QStringLiteral("StartUP/ComPort"), QStringLiteral("3"));
    }

    QProcess sim;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    sim.setProcessEnvironment(env);
    sim.start(QStringLiteral(MX7300_SIM_PATH),
              {QStringLiteral("--register"), QStringLiteral("9"), QStringLiteral("--quiet")});
    QVERIFY2(sim.waitForStarted(10000), qPrintable(sim.errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), 10000);
    const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
    QVERIFY2(device.startsWith(QLatin1String("/dev/")), qPrintable(device));

    QTRY_COMPARE_WITH_TIMEOUT(
        QSettings(iniFile, QSettings::IniFormat).value(QStringLiteral("Ports/COM9")).toString(),
        device, 10000);

    const int fd = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    QVERIFY2(fd >= 0, strerror(errno));
    termios raw{};
    QCOMPARE(::tcgetattr(fd, &raw), 0);
    ::cfmakeraw(&raw);
    QCOMPARE(::tcsetattr(fd, TCSANOW, &raw), 0);

    QCOMPARE(::write(fd, "CR0\r", 4), ssize_t(4));
    QCOMPARE(readReply(fd, 3), QByteArray("80\r"));
    QCOMPARE(::write(fd, "AFFFC00\r", 8), ssize_t(8));
    QCOMPARE(readReply(fd, 1), QByteArray(1, '\x06'));
    ::close(fd);

    sim.terminate(); // SIGTERM
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);

    QSettings after(iniFile, QSettings::IniFormat);
    QVERIFY(!after.contains(QStringLiteral("Ports/COM9")));
    QCOMPARE(after.value(QStringLiteral("StartUP/ComPort")).toString(), QStringLiteral("3"));
}

void TestSimProcess::registrationEditsOnlyItsEntry_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("exact"); // every byte back after the simulator ends
    QTest::newRow("comments, other sections and ports, a broken line") << kHandKept << true;
    QTest::newRow("CR LF line ends") << QByteArray(kHandKept).replace("\n", "\r\n") << true;
    // An open quote above [Ports] hides it from the reader: the entry goes
    // into a [Ports] of its own at the top, which stays behind empty.
    QTest::newRow("a broken line above [Ports]") << "junk=\"open\n" + kHandKept << false;
}

void TestSimProcess::registrationEditsOnlyItsEntry() {
    QFETCH(QByteArray, content);
    QFETCH(bool, exact);
    QTemporaryDir config;
    const QString iniFile = config.path() + QStringLiteral("/TAVO/TAVO.ini");
    QVERIFY(writeFile(iniFile, content));

    QProcess sim;
    const QString device = startRegistered(sim, config.path());
    QVERIFY2(device.startsWith(QLatin1String("/dev/")), qPrintable(device));
    QCOMPARE(registeredDevice(iniFile), device); // what the console reads
    const QByteArray registered = readFile(iniFile);
    if (exact)
        QCOMPARE(withoutCom9(registered), content);
    else
        QVERIFY(withoutCom9(registered).endsWith(content));

    sim.terminate();
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(sim.exitCode(), 0);
    const QByteArray after = readFile(iniFile);
    if (exact)
        QCOMPARE(after, content);
    else
        QVERIFY(after.endsWith(content) && !after.contains("COM9"));
}

// A simulator killed outright leaves its entry; the next one takes the number
// over. A third, while that one runs, is refused and changes nothing.
void TestSimProcess::staleEntryReplacedLiveOneRefused() {
    QTemporaryDir config;
    const QString iniFile = config.path() + QStringLiteral("/TAVO/TAVO.ini");
    QVERIFY(writeFile(iniFile, kHandKept));

    QProcess killed;
    QVERIFY(!startRegistered(killed, config.path()).isEmpty());
    const qint64 killedPid = killed.processId();
    ::kill(pid_t(killedPid), SIGKILL);
    QVERIFY(killed.waitForFinished(10000));
    QVERIFY(readFile(iniFile).contains("COM9.sim-pid=" + QByteArray::number(killedPid)));

    QProcess next;
    const QString device = startRegistered(next, config.path());
    QVERIFY2(device.startsWith(QLatin1String("/dev/")), next.readAllStandardError().constData());
    QCOMPARE(registeredDevice(iniFile), device);
    const QByteArray taken = readFile(iniFile);
    QVERIFY(taken.contains("COM9.sim-pid=" + QByteArray::number(next.processId())));
    QCOMPARE(withoutCom9(taken), kHandKept);

    QProcess refused;
    QCOMPARE(startRegistered(refused, config.path()), QString());
    QVERIFY(refused.state() == QProcess::NotRunning || refused.waitForFinished(10000));
    QCOMPARE(refused.exitStatus(), QProcess::NormalExit);
    QCOMPARE(refused.exitCode(), 2);
    const QByteArray said = refused.readAllStandardError();
    QVERIFY2(said.contains("registered by another running simulator (PID " +
                           QByteArray::number(next.processId())),
             said.constData());
    QCOMPARE(readFile(iniFile), taken);

    next.terminate();
    QVERIFY(next.waitForFinished(10000));
    QCOMPARE(readFile(iniFile), kHandKept);
}

QTEST_GUILESS_MAIN(TestSimProcess)
#include "tst_sim_process.moc"
