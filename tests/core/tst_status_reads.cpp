#include "ReplyDecoder.h"
#include "StatusReads.h"

#include <QSet>
#include <QTest>

using namespace tavo;

namespace {

// The typed value as one short text, so a row states it plainly.
QString describe(const Readings& r) {
    QStringList parts;
    if (r.power)
        parts << QStringLiteral("power ") + wordsOf(*r.power);
    if (r.input)
        parts << QStringLiteral("input %1").arg(*r.input);
    if (r.lampHours)
        parts << QStringLiteral("lamp %1").arg(*r.lampHours);
    if (r.temperatures) {
        QStringList t;
        for (double v : *r.temperatures)
            t << QString::number(v);
        parts << QStringLiteral("temps ") + t.join(QLatin1Char('/'));
    }
    if (r.reversal)
        parts << QStringLiteral("reversal ") + wordsOf(*r.reversal);
    return parts.isEmpty() ? QStringLiteral("-") : parts.join(QLatin1String(", "));
}

const QString kKept = QStringLiteral("<kept>");

struct Row {
    const char* command;
    const char* reply;
    const char* value;
    const char* caption; // nullptr: the line is kept
};
const Row kRows[] = {
    {"CR0", "00\r", "power Power ON", " Power ON"},
    {"CR0", "80\r", "power Stand by", " Stand by"},
    {"CR0", "40\r", "power Count down", " Count down"},
    {"CR0", "20\r", "power Cooling down", " Cooling down"},
    {"CR0", "10\r", "power Power abnormality", " Power abnormality"},
    {"CR0", "08\r", "power Temperature abnormality", " Temperature abnormality"},
    {"CR0", "18\r", "power Temperature abnormality", " Temperature abnormality"},
    {"CR0", "28\r", "power Temperature abnormality", " Temperature abnormality"},
    {"CR0", "48\r", "power Temperature abnormality", " Temperature abnormality"},
    {"CR0", "88\r", "power Temperature abnormality", " Temperature abnormality"},
    {"CR0", "21\r", "power Lamp Failure", " Lamp Failure"},
    {"CR0", "81\r", "power Lamp Failure", " Lamp Failure"},
    {"CR0", "00", "power Power ON", " Power ON"}, // before its CR
    {"CR0", "0", "-", nullptr},
    {"CR0", "99\r", "-", nullptr},
    {"CR0",
     "\x06"
     "00\r",
     "-", nullptr},
    {"CR1", "1\r", "input 1", " Input 1"},
    {"CR1", "2\r", "input 2", " Input 2"},
    {"CR1", "3\r", "input 3", " Input 3"},
    {"CR1", "4\r", "input 4", " Wired"},
    {"CR1", "5\r", "input 5", " Wireless/Viewer"},
    {"CR1", "6\r", "-", nullptr},
    {"CR1", " 1\r", "-", nullptr},
    {"CR4", "11\r", "reversal Normally", " Normally"},
    {"CR4", "10\r", "reversal Top/Bottom reversal", " Top/Bottom reversal"},
    {"CR4", "01\r", "reversal Left/Right reversal", " Left/Right reversal"},
    {"CR4", "00\r", "reversal Top/Bottom , Left/Right reversal",
     " Top/Bottom , Left/Right reversal"},
    {"CR4", "22\r", "-", nullptr},
    // Lamp hours are appended to the line; odd characters are shown, not counted.
    {"CR3", "01234\r", "lamp 1234", "was   1 2 3 4   Hour Use"},
    {"CR3", "00000\r", "lamp 0", "was             Hour Use"},
    {"CR3", "99999\r", "lamp 99999", "was 9 9 9 9 9   Hour Use"},
    {"CR3", "0A234\r", "-", "was   A 2 3 4   Hour Use"},
    {"CR3", "0 234\r", "-", "was   _ 2 3 4   Hour Use"},
    {"CR3", "012345", "-", "was   1 2 3 Hour Use"},
    {"CR3", "0123\r", "-", nullptr},
    {"CR3", "012345\r", "-", nullptr},
    {"CR6", "032.5 041.0 027.3\r", "temps 32.5/41/27.3",
     " 0 3 2 . 5 deg C 0 4 1 . 0 deg C 0 2 7 . 3 deg C "},
    {"CR6", "-05.0,100.0,+20.5\r", "temps -5/100/20.5",
     " - 0 5 . 0 deg C 1 0 0 . 0 deg C + 2 0 . 5 deg C "},
    {"CR6", "032.5 041.0 02 .3\r", "-", " 0 3 2 . 5 deg C 0 4 1 . 0 deg C 0 2 _ . 3 deg C "},
    {"CR6", "032.5 0x1.0 027.3\r", "-", " 0 3 2 . 5 deg C 0 x 1 . 0 deg C 0 2 7 . 3 deg C "},
    {"CR6", "032.5 041.0 027.\r", "-", nullptr},
    {"CR6", "032.5 041.0 027.35\r", "-", nullptr},
    // Only a status read exactly as the panel sends it is decoded.
    {"CR7", "1\r", "-", nullptr},
    {"C00", "00\r", "-", nullptr},
    {"CR LAMPSTS", "000 1I\r", "-", nullptr},
};

} // namespace

class TestStatusReads : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decode_data();
    void decode();
    void everyReadHasRows();
};

void TestStatusReads::decode_data() {
    QTest::addColumn<QByteArray>("command"); // CurrentCommand, CR included
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("caption"); // the status line before is "was"

    for (const Row& r : kRows) {
        QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(
            QLatin1String(r.command),
            QString::fromLatin1(QByteArray(r.reply).toPercentEncoding()))))
            << QByteArray(r.command) + '\r' << QByteArray(r.reply) << QString::fromLatin1(r.value)
            << (r.caption ? QString::fromLatin1(r.caption) : kKept);
    }
    QTest::newRow("CR0 00 behind an address")
        << QByteArray("A001CR0\r") << QByteArray("00\r") << QStringLiteral("-") << kKept;
    QTest::newRow("CR0 00 without its CR")
        << QByteArray("CR0") << QByteArray("00\r") << QStringLiteral("-") << kKept;
}

void TestStatusReads::decode() {
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    QFETCH(QString, value);
    QFETCH(QString, caption);

    const DecodedReply decoded = decodeReply(command, reply, QStringLiteral("was"));
    QCOMPARE(describe(decoded.readings), value);
    QCOMPARE(decoded.caption.value_or(kKept), caption);
}

void TestStatusReads::everyReadHasRows() {
    QSet<QByteArray> tested;
    for (const Row& r : kRows)
        tested.insert(r.command);
    for (const StatusRead* read = statusReadsBegin(); read != statusReadsEnd(); ++read)
        QVERIFY2(tested.contains(read->command), read->command);
}

QTEST_APPLESS_MAIN(TestStatusReads)
#include "tst_status_reads.moc"
