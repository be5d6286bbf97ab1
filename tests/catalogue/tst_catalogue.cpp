#include "Catalogue.h"
#include "CatalogueText.h"

#include <QTest>

using tavo::catalogue::List;
namespace catalogue = tavo::catalogue;

Q_DECLARE_METATYPE(List)

namespace {

// Family key: the prefix and the first word after it ("CF SYSTEM" for "CF SYSTEM D-VGA1").
QByteArray familyOf(const QByteArray& entry) {
    const QList<QByteArray> words = catalogue::commandText(entry).split(' ');
    return words.value(0) + ' ' + words.value(1);
}

QByteArray commandPrefix(List list) {
    switch (list) {
    case List::Combo1:
        return "C";
    case List::Combo2:
        return "CF ";
    case List::Combo3:
        break;
    }
    return "CR ";
}

void addLists() {
    QTest::addColumn<List>("list");
    QTest::newRow("Combo1") << List::Combo1;
    QTest::newRow("Combo2") << List::Combo2;
    QTest::newRow("Combo3") << List::Combo3;
}

// Rows whose tail after "[CR]" holds no separator at all.
bool hasBareTail(List list, int row) {
    static const QList<int> combo2Rows = {113, 265, 561, 572, 715, 716};
    return list == List::Combo2 && combo2Rows.contains(row);
}

} // namespace

class CatalogueTest : public QObject {
    Q_OBJECT

private slots:
    void sizes_data() {
        QTest::addColumn<List>("list");
        QTest::addColumn<int>("entries");
        QTest::addColumn<int>("families");
        QTest::addColumn<int>("longest");
        QTest::newRow("Combo1") << List::Combo1 << 44 << -1 << 39;
        QTest::newRow("Combo2") << List::Combo2 << 747 << 130 << 101;
        QTest::newRow("Combo3") << List::Combo3 << 150 << 134 << 98;
    }
    void sizes() {
        QFETCH(List, list);
        QFETCH(int, entries);
        QFETCH(int, families);
        QFETCH(int, longest);
        QCOMPARE(catalogue::entryCount(list), entries);

        int familyCount = 0;
        qsizetype longestEntry = 0;
        QByteArray previousFamily;
        for (int row = 0; row < entries; ++row) {
            const QByteArray& entry = catalogue::entry(list, row);
            longestEntry = qMax(longestEntry, entry.size());
            if (familyOf(entry) != previousFamily)
                ++familyCount;
            previousFamily = familyOf(entry);
        }
        QCOMPARE(longestEntry, qsizetype(longest));
        if (families >= 0)
            QCOMPARE(familyCount, families);
    }

    // Every entry: command text of upper-case words, then "[CR]", then nothing, a bare gap on a
    // few rows, or a gap of spaces and tabs, a separator and a one-line description.
    void entryGrammar_data() { addLists(); }
    void entryGrammar() {
        QFETCH(List, list);
        static const QRegularExpression commandPattern("^[A-Z0-9/%-]+( [A-Z0-9/%-]+)*$");
        static const QRegularExpression tailPattern("^([ \\t]+[:;][^\\t\\r\\n]*)?$");
        for (int row = 0; row < catalogue::entryCount(list); ++row) {
            const QByteArray& entry = catalogue::entry(list, row);
            const QByteArray command = catalogue::commandText(entry);
            const QByteArray where = QByteArray::number(row) + ": " + entry;
            QVERIFY2(entry.indexOf('[') > 0, where);
            QVERIFY2(!command.contains('[') && !command.contains(':') && !command.contains('\t'),
                     where);
            QVERIFY2(command.startsWith(commandPrefix(list)), where);
            QVERIFY2(commandPattern.match(QString::fromLatin1(command)).hasMatch(), where);
            QVERIFY2(entry.mid(command.size()).startsWith("[CR]"), where);

            const QByteArray tail = entry.mid(command.size() + 4);
            if (hasBareTail(list, row))
                continue;
            QVERIFY2(tailPattern.match(QString::fromLatin1(tail)).hasMatch(), where);
            const bool semicolon = tail.contains(';') && !tail.contains(':');
            QCOMPARE(semicolon, list == List::Combo2 && row == 659);
        }
    }

    void exactEntries_data() {
        QTest::addColumn<List>("list");
        QTest::addColumn<int>("row");
        QTest::addColumn<QByteArray>("expected");
        auto add = [](const char* name, List list, int row, const QByteArray& expected) {
            QTest::newRow(name) << list << row << expected;
        };
        add("C1 first", List::Combo1, 0, "C00[CR]     :POWER ON");
        add("C1 longest", List::Combo1, 1, "C01[CR]     :POWER OFF(Quick Power OFF)");
        add("C1 last", List::Combo1, 43, "CR7[CR]     :Lamp Mode Read");

        add("C2 first", List::Combo2, 0, "CF CONT UP[CR]  \t\t:Set Contrast value");
        add("C2 plain member", List::Combo2, 1, "CF CONT DN[CR]");
        add("C2 value member", List::Combo2, 2, "CF CONT 0%%[CR]  \t\t:% = 0-9");
        add("C2 4-digit value", List::Combo2, 86, "CF TDOTS %%%%[CR]  \t\t:% = 0-9");
        add("C2 480I one space", List::Combo2, 113, "CF ORGMODE 480I[CR] ");
        add("C2 % in description", List::Combo2, 167,
            "CF INPUT1 DIGITAL[CR]  \t:Select Input11 and also set input source to %1");
        add("C2 INPUT3 no tail", List::Combo2, 205, "CF INPUT3 DIGITAL[CR]");
        add("C2 D-WXGA3 first", List::Combo2, 247, "CF SYSTEM D-WXGA3[CR]");
        add("C2 D-VGA1 bare gap", List::Combo2, 265, "CF SYSTEM D-VGA1[CR]  \t\t");
        add("C2 D-WXGA3 again", List::Combo2, 266, "CF SYSTEM D-WXGA3[CR]");
        add("C2 two-word argument", List::Combo2, 285, "CF SCREEN DZOOM UP[CR]");
        add("C2 8s gap", List::Combo2, 338,
            "CF SCREENASPECT FULL[CR]        :Set Screen Aspect Function");
        add("C2 2t gap", List::Combo2, 342, "CF LAMPMODE 2LAMP[CR]\t\t:Select Lamp mode");
        add("C2 lone value", List::Combo2, 347, "CF LAMPCONSTTAR %%%%[CR]        :% = 0-9");
        add("C2 5s gap", List::Combo2, 352, "CF LAMPLIFECONTRL MODE1[CR]     :Set Lamp Life Mode");
        add("C2 LANG first", List::Combo2, 360,
            "CF LANG ENG[CR]  \t\t:Select English        Select language for OSD");
        add("C2 LANG member", List::Combo2, 361, "CF LANG DEU[CR]  \t\t:Select Geman");
        add("C2 10s gap", List::Combo2, 372, "CF MENUPOSITION UP[CR]          :Set Menu Position");
        add("C2 1s3t gap", List::Combo2, 388, "CF PIP OFF[CR] \t\t\t:Set \" Picture in Picture\"");
        add("C2 PIPMAININP first", List::Combo2, 396,
            "CF PIPMAININP 1 DIGITAL[CR] \t:Select Input and Source for \" Picture in "
            "Picture\"(Main Picture)");
        add("C2 PIPMAININP SCART", List::Combo2, 402, "CF PIPMAININP 1 SCART[CR]");
        add("C2 PIPMAININP last", List::Combo2, 471, "CF PIPMAININP 4 DUAL-RGB2[CR]");
        add("C2 PIPSUBINP 3 HDCP", List::Combo2, 519, "CF PIPSUBINP 3 HDCP[CR]");
        add("C2 PIPSUBINP 3 LINKA", List::Combo2, 520, "CF PIPSUBINP 3 LINKA-YCBCR[CR]");
        add("C2 PIPSUBINP last", List::Combo2, 546, "CF PIPSUBINP 4 DUAL-RGB2[CR]");
        add("C2 PIPSIZE", List::Combo2, 547,
            "CF PIPSIZE % %[CR] \t\t:Set Sub picture size in Picture in Picture");
        add("C2 empty description", List::Combo2, 548, "CF PIPSIZEMAIN UP[CR] \t\t:");
        add("C2 empty description 2", List::Combo2, 550, "CF PIPSIZESUB UP[CR] \t\t:");
        add("C2 CR LF", List::Combo2, 561, "CF PIPFRAMELOCK SUB[CR]\r\n");
        add("C2 trailing space", List::Combo2, 567,
            "CF PIPMODEFREE USER1[CR] \t:Clear registration value in User %1 and return to "
            "state of Free ");
        add("C2 PIPRST bare gap", List::Combo2, 572, "CF PIPRST RST[CR] \t");
        add("C2 BLENDSTART empty", List::Combo2, 579, "CF BLENDSTART LEFT 0%%%[CR] \t\t:");
        add("C2 two values", List::Combo2, 597,
            "CF CMMSXY RED %%%% %%%%[CR] \t:Set \"x\",\"y\" value of Measured of Color matching");
        add("C2 semicolon", List::Combo2, 659,
            "CF RSENS BOTH[CR] \t\t;Select location of infrared remote receiver of remote "
            "control");
        add("C2 P-MANETIME value", List::Combo2, 671, "CF P-MANETIME %%[CR]");
        add("C2 FDEFAULT", List::Combo2, 706,
            "CF FDEFAULT RST[CR]  \t\t:Set the value to Factory Default ");
        add("C2 L1 one space", List::Combo2, 715, "CF SHUTEFFECT L1[CR] ");
        add("C2 L2 one space", List::Combo2, 716, "CF SHUTEFFECT L2[CR] ");
        add("C2 last", List::Combo2, 746, "CF VMUTE OFF[CR]");

        add("C3 first", List::Combo3, 0, "CR CONT[CR] \t:Get Contrast value");
        add("C3 7-char name", List::Combo3, 26,
            "CR ORGMODE[CR] \t:Get the original signal for PC-Adjusted mode");
        add("C3 COLTEMP", List::Combo3, 5, "CR COLTEMP[CR] \t:Get setting Color of temperatue");
        add("C3 9-char name", List::Combo3, 11, "CR OFFSET-B[CR] :Get White Balance Blue value");
        add("C3 empty description", List::Combo3, 59, "CR LAMPCONSTTAR[CR] :");
        add("C3 empty description 2", List::Combo3, 60, "CR LAMPCONSTCUR[CR] :");
        add("C3 two trailing spaces", List::Combo3, 71,
            "CR MENUSIZE[CR] :Get setting status of Menu size  ");
        add("C3 FILCOND", List::Combo3, 86, "CR FILCOND[CR] :Get status of filter clog");
        add("C3 PTIMER", List::Combo3, 91, "CR PTIMER[CR] \t:Get status of P-timer");
        add("C3 TESTPAT", List::Combo3, 93, "CR TESTPAT[CR]  :Get setting status of Test pattern");
        add("C3 doubled space", List::Combo3, 109,
            "CR PIPSTORE[CR] :Get status in  \"Picture in picture\"");
        add("C3 family head", List::Combo3, 116,
            "CR CMMSXY RED[CR] :Get \"x\",\"y\" value of Measured of Color matching");
        add("C3 family member", List::Combo3, 117, "CR CMMSXY GREEN[CR]");
        add("C3 family end", List::Combo3, 135, "CR CMMGG YELLOW[CR]");
        add("C3 PTIMER again", List::Combo3, 144,
            "CR PTIMER[CR] \t:Get operting status of P-Timer");
        add("C3 trailing space", List::Combo3, 145,
            "CR TEMPFAIL[CR] :Get temperature when sensors approach abnomal temperature ");
        add("C3 last", List::Combo3, 149, "CR SHUTCOND[CR] :Get setting status of Shutter");
    }
    void exactEntries() {
        QFETCH(List, list);
        QFETCH(int, row);
        QFETCH(QByteArray, expected);
        QCOMPARE(catalogue::entry(list, row), expected);
    }

    void families_data() {
        QTest::addColumn<List>("list");
        QTest::addColumn<int>("firstRow");
        QTest::addColumn<int>("size");
        QTest::newRow("CF SYSTEM") << List::Combo2 << 243 << 35;
        QTest::newRow("CF PIPMAININP") << List::Combo2 << 396 << 76;
        QTest::newRow("CF PIPSUBINP") << List::Combo2 << 472 << 75;
        QTest::newRow("CF LANG") << List::Combo2 << 360 << 12;
        QTest::newRow("CR CMMGXY") << List::Combo3 << 122 << 7;
    }
    void families() {
        QFETCH(List, list);
        QFETCH(int, firstRow);
        QFETCH(int, size);
        const QByteArray family = familyOf(catalogue::entry(list, firstRow));
        QVERIFY(familyOf(catalogue::entry(list, firstRow - 1)) != family);
        for (int row = firstRow; row < firstRow + size; ++row)
            QCOMPARE(familyOf(catalogue::entry(list, row)), family);
        const int next = firstRow + size;
        QVERIFY(next == catalogue::entryCount(list) ||
                familyOf(catalogue::entry(list, next)) != family);
    }

    void commandTexts_data() {
        QTest::addColumn<List>("list");
        QTest::addColumn<int>("row");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<bool>("parameter");
        QTest::newRow("C1 row 0") << List::Combo1 << 0 << QByteArray("C00") << false;
        QTest::newRow("C2 row 0") << List::Combo2 << 0 << QByteArray("CF CONT UP") << false;
        QTest::newRow("C3 row 0") << List::Combo3 << 0 << QByteArray("CR CONT") << false;
        QTest::newRow("C2 value") << List::Combo2 << 2 << QByteArray("CF CONT 0%%") << true;
        QTest::newRow("C2 % only in description")
            << List::Combo2 << 167 << QByteArray("CF INPUT1 DIGITAL") << true;
        QTest::newRow("C2 % only in description 2")
            << List::Combo2 << 567 << QByteArray("CF PIPMODEFREE USER1") << true;
        QTest::newRow("C2 INPUT1 member")
            << List::Combo2 << 168 << QByteArray("CF INPUT1 ANALOG") << false;
        QTest::newRow("C2 CR LF") << List::Combo2 << 561 << QByteArray("CF PIPFRAMELOCK SUB")
                                  << false;
        QTest::newRow("C2 two values")
            << List::Combo2 << 609 << QByteArray("CF CMMGXY YELLOW %%%% %%%%") << true;
        QTest::newRow("C3 PTIMER") << List::Combo3 << 91 << QByteArray("CR PTIMER") << false;
        QTest::newRow("C3 PTIMER again") << List::Combo3 << 144 << QByteArray("CR PTIMER") << false;
    }
    void commandTexts() {
        QFETCH(List, list);
        QFETCH(int, row);
        QFETCH(QByteArray, command);
        QFETCH(bool, parameter);
        const QByteArray& entry = catalogue::entry(list, row);
        QCOMPARE(catalogue::commandText(entry), command);
        QCOMPARE(catalogue::hasParameter(entry), parameter);
    }

    void helpersOnBareText_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<bool>("parameter");
        QTest::newRow("no bracket")
            << QByteArray("CF CONT 0%%") << QByteArray("CF CONT 0%%") << true;
        QTest::newRow("first bracket counts") << QByteArray("A[B[C") << QByteArray("A") << false;
        QTest::newRow("bracket first") << QByteArray("[CR] :%") << QByteArray() << true;
        QTest::newRow("empty") << QByteArray() << QByteArray() << false;
    }
    void helpersOnBareText() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, command);
        QFETCH(bool, parameter);
        QCOMPARE(catalogue::commandText(text), command);
        QCOMPARE(catalogue::hasParameter(text), parameter);
    }

    // The data file: escapes give the exact bytes; what an editor could change unseen is refused.
    void dataFile_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("combo2");
        QTest::addColumn<QString>("error");
        const QByteArray lists = "[Combo1]\n[Combo2]\n";
        QTest::newRow("escapes") << lists + "A\\t\\r\\n\\\\B\\s\n[Combo3]"
                                 << QByteArray("A\t\r\n\\B ") << QString();
        QTest::newRow("comments and gaps") << lists + "# c\n\nX\n[Combo3]\n"
                                           << QByteArray("X") << QString();
        QTest::newRow("trailing space") << lists + "X \n[Combo3]" << QByteArray()
                                        << QString("line 3: trailing white space (write \\s)");
        QTest::newRow("raw tab") << lists + "X\tY\n[Combo3]" << QByteArray()
                                 << QString("line 3: control character (use an escape)");
        QTest::newRow("CR LF file") << QByteArray("[Combo1]\r\n[Combo2]\r\nX\r\n[Combo3]\r\n")
                                    << QByteArray("X") << QString();
        QTest::newRow("CR inside a line") << lists + "X\rY\n[Combo3]" << QByteArray()
                                          << QString("line 3: control character (use an escape)");
        QTest::newRow("unknown escape")
            << lists + "X\\q\n[Combo3]" << QByteArray() << QString("line 3: unknown escape");
        QTest::newRow("lone backslash")
            << lists + "X\\\n[Combo3]" << QByteArray() << QString("line 3: unknown escape");
        QTest::newRow("entry first") << QByteArray("X\n") + lists + "[Combo3]" << QByteArray()
                                     << QString("line 1: entry before [Combo1]");
        QTest::newRow("out of order") << QByteArray("[Combo1]\n[Combo3]\n[Combo2]") << QByteArray()
                                      << QString("line 2: heading out of order");
        QTest::newRow("list missing") << lists << QByteArray() << QString("missing [Combo3]");
    }
    void dataFile() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, combo2);
        QFETCH(QString, error);
        const catalogue::CatalogueText parsed = catalogue::parseCatalogueText(text);
        QCOMPARE(parsed.error, error);
        if (error.isEmpty())
            QCOMPARE(parsed.lists[1], QList<QByteArray>{combo2});
    }
};

QTEST_GUILESS_MAIN(CatalogueTest)
#include "tst_catalogue.moc"
