#include "link/OpenFailure.h"

#include <QTest>

#include <cerrno>

using namespace tavo;

Q_DECLARE_METATYPE(OpenFailure)

class TestOpenFailure : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sentencesNameTheDeviceTheCauseAndTheFix_data();
    void sentencesNameTheDeviceTheCauseAndTheFix();
};

void TestOpenFailure::sentencesNameTheDeviceTheCauseAndTheFix_data() {
    QTest::addColumn<int>("error"); // errno, or 0 to use `kind`
    QTest::addColumn<OpenFailure>("kind");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QStringList>("says");
    const QString usb = QStringLiteral("/dev/ttyUSB0");
    const auto none = OpenFailure::Other;
    QTest::newRow("ENOENT") << ENOENT << none << usb << QString()
                            << QStringList{usb, QStringLiteral("no such device")};
    QTest::newRow("ENODEV") << ENODEV << none << usb << QString()
                            << QStringList{QStringLiteral("no such device")};
    QTest::newRow("EACCES: the dialout fix")
        << EACCES << none << usb << QString()
        << QStringList{usb, QStringLiteral("permission denied"),
                       QStringLiteral("sudo usermod -aG dialout $USER"),
                       QStringLiteral("log out and in again")};
    QTest::newRow("EBUSY with the holder")
        << EBUSY << none << usb << QStringLiteral("PID 4242, minicom")
        << QStringList{usb, QStringLiteral("in use by another program"),
                       QStringLiteral("(PID 4242, minicom)")};
    QTest::newRow("EBUSY, holder unknown")
        << EBUSY << none << usb << QString()
        << QStringList{QStringLiteral("/dev/ttyUSB0 is in use by another program.")};
    QTest::newRow("ENOTTY") << ENOTTY << none << QStringLiteral("/dev/null") << QString()
                            << QStringList{QStringLiteral("/dev/null is not a serial device")};
    QTest::newRow("EISDIR") << EISDIR << none << QStringLiteral("/tmp") << QString()
                            << QStringList{QStringLiteral("not a serial device")};
    QTest::newRow("ECONNREFUSED") << ECONNREFUSED << none << QStringLiteral("tcp://10.0.0.5:4001")
                                  << QString()
                                  << QStringList{QStringLiteral("tcp://10.0.0.5:4001"),
                                                 QStringLiteral("connection refused")};
    QTest::newRow("ETIMEDOUT") << ETIMEDOUT << none << QStringLiteral("rfc2217://box:4002")
                               << QString() << QStringList{QStringLiteral("timed out")};
    QTest::newRow("host not found")
        << 0 << OpenFailure::HostNotFound << QStringLiteral("tcp://nowhere:1") << QString()
        << QStringList{QStringLiteral("tcp://nowhere:1"), QStringLiteral("host not found")};
    QTest::newRow("other errors keep the system's words")
        << EIO << none << usb << QStringLiteral("Input/output error")
        << QStringList{usb, QStringLiteral("could not be opened"),
                       QStringLiteral("Input/output error")};
    QTest::newRow("a pasted screenful is cut short")
        << 0 << OpenFailure::BadName << QString(10000, QLatin1Char('x')) << QString()
        << QStringList{QStringLiteral("...")};
}

void TestOpenFailure::sentencesNameTheDeviceTheCauseAndTheFix() {
    QFETCH(int, error);
    QFETCH(OpenFailure, kind);
    QFETCH(QString, device);
    QFETCH(QString, detail);
    QFETCH(QStringList, says);
    const QString text = openFailureText(error ? openFailureForErrno(error) : kind, device, detail);
    for (const QString& part : says)
        QVERIFY2(text.contains(part), qPrintable(text));
    QVERIFY(text.size() < 300);
}

QTEST_APPLESS_MAIN(TestOpenFailure)
#include "tst_open_failure.moc"
