#include <QDeadlineTimer>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

// The real mx7300-sim on a real pseudo-terminal, seen by a client using nothing but POSIX.
class TestSimProcess : public QObject {
    Q_OBJECT
private slots:
    void answersOnThePseudoTerminalAndRegistersThePort();

private:
    static QByteArray readReply(int fd, int expectedBytes);
};

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

QTEST_GUILESS_MAIN(TestSimProcess)
#include "tst_sim_process.moc"
