// A PJLink client written by others (npm "pjlink", Class 1) against the front: power on, then
// the power, input, lamp and name it reads.
#include "PjlinkRig.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace tavo::test;

class TstPjlinkClient : public QObject {
    Q_OBJECT

private slots:
    void powerOnAndRead();
};

void TstPjlinkClient::powerOnAndRead() {
    const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    const QDir client(QStringLiteral(PJLINK_CLIENT_DIR));
    QVERIFY2(!node.isEmpty(), "node is missing: ./setup.sh test installs it");
    QVERIFY2(QFileInfo::exists(client.filePath(QStringLiteral("node_modules/pjlink"))),
             "the npm client is missing: run npm ci in tests/gateway/pjlink-client");

    PjlinkRig rig;
    const QString password = QStringLiteral("JBMIAProjectorLink");
    QVERIFY(rig.start(password));

    QProcess process;
    process.setWorkingDirectory(client.path());
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(node, {client.filePath(QStringLiteral("client.js")), QStringLiteral("127.0.0.1"),
                         QString::number(rig.front->portOf(0)), password});
    QVERIFY(finished.wait(20000));
    const QByteArray out = process.readAllStandardOutput();
    QVERIFY2(process.exitCode() == 0, out + process.readAllStandardError());

    const QJsonObject result = QJsonDocument::fromJson(out).object();
    QCOMPARE(result.value(QStringLiteral("poweredOn")).toBool(), true);
    QCOMPARE(result.value(QStringLiteral("power")).toInt(-1), 1);
    QCOMPARE(result.value(QStringLiteral("input")).toString(), QStringLiteral("11"));
    const QJsonArray lamps = result.value(QStringLiteral("lamps")).toArray();
    QCOMPARE(lamps.size(), 1);
    QCOMPARE(lamps[0].toObject().value(QStringLiteral("hours")).toInt(), 1234);
    QCOMPARE(lamps[0].toObject().value(QStringLiteral("on")).toBool(), true);
    QCOMPARE(result.value(QStringLiteral("name")).toString(), QStringLiteral("hall"));
    QCOMPARE(rig.projector->commands, QByteArrayList{"C00"});
}

QTEST_GUILESS_MAIN(TstPjlinkClient)
#include "tst_pjlink_client.moc"
