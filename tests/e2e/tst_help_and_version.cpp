// The programs answer --help and --version on a terminal without a display: they print and end
// before any window or platform plugin is set up.
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

class TestHelpAndVersion : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void printsAndEnds_data();
    void printsAndEnds();
};

void TestHelpAndVersion::printsAndEnds_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("absent");
    const QString control = QStringLiteral(MX7300_CONTROL_PATH);
    const QString catalogue = QStringLiteral(MX7300_CATALOGUE_PATH);
    QTest::newRow("control --help")
        << control << QStringList{"--help"} << "Usage: mx7300-control [options]"
        << "<executable_name>";
    QTest::newRow("control -h") << control << QStringList{"-h"} << "-v, --version"
                                << "Qt";
    QTest::newRow("control --version")
        << control << QStringList{"--version"} << "mx7300-control 1.1\n"
        << "Usage";
    QTest::newRow("control -v") << control << QStringList{"-v"} << "mx7300-control 1.1\n"
                                << "Usage";
    QTest::newRow("catalogue --help")
        << catalogue << QStringList{"--help"} << "Usage: mx7300-catalogue"
        << "\"C00";
    QTest::newRow("catalogue -h") << catalogue << QStringList{"-h"} << "-h, --help"
                                  << "POWER ON";
}

void TestHelpAndVersion::printsAndEnds() {
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    QFETCH(QString, absent);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    QVERIFY2(process.waitForFinished(60000), qPrintable(process.errorString()));
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY2(process.exitCode() == 0, qPrintable(err));
    QVERIFY2(out.contains(expected), qPrintable(out));
    QVERIFY2(!out.contains(absent), qPrintable(out));
}

QTEST_GUILESS_MAIN(TestHelpAndVersion)
#include "tst_help_and_version.moc"
