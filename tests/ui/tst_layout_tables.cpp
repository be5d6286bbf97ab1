// The layout tables against the windows' design: counts, tab indexes,
// containment, the arrow buttons and a sample of rows' numbers.
#include "FormTables.h"

#include <QRect>
#include <QSet>
#include <QtTest>

using namespace tavo;
using namespace tavo::test;

Q_DECLARE_METATYPE(tavo::Kind)
Q_DECLARE_METATYPE(tavo::Align)

namespace {

QRect twipsRect(const LayoutRow& row) {
    return {row.left, row.top, row.width, row.height};
}

void addForms() {
    QTest::addColumn<QString>("form");
    QTest::addColumn<int>("controls");
    QTest::newRow("Form1") << "Form1" << 95;
    QTest::newRow("Form2") << "Form2" << 13;
    QTest::newRow("Form3") << "Form3" << 11;
}

} // namespace

class LayoutTablesTest : public QObject {
    Q_OBJECT

private slots:
    void tabIndexesRunWithoutGaps_data() { addForms(); }
    void tabIndexesRunWithoutGaps() {
        QFETCH(QString, form);
        QFETCH(int, controls);
        const auto& rows = layoutNamed(form);
        QCOMPARE(int(rows.size()), controls);
        QSet<int> seen;
        for (const LayoutRow& row : rows) {
            QVERIFY2(row.tabIndex >= 0 && row.tabIndex < controls, row.name);
            QVERIFY2(!seen.contains(row.tabIndex), row.name);
            seen.insert(row.tabIndex);
        }
    }

    void namesUniqueAndFramesPrecedeTheirControls_data() { addForms(); }
    void namesUniqueAndFramesPrecedeTheirControls() {
        QFETCH(QString, form);
        QSet<QString> names;
        QSet<QString> framesSoFar;
        for (const LayoutRow& row : layoutNamed(form)) {
            QVERIFY2(!names.contains(QLatin1String(row.name)), row.name);
            names.insert(QLatin1String(row.name));
            if (row.parent)
                QVERIFY2(framesSoFar.contains(QLatin1String(row.parent)), row.name);
            if (row.kind == Kind::Frame)
                framesSoFar.insert(QLatin1String(row.name));
        }
    }

    void panelFramesComeFirstWithoutCaptions() {
        const auto& rows = form1Layout();
        const QStringList expected = {
            "Frame1", "Frame2",  "Frame5",  "Frame4",  "Frame7",  "Frame11", "Frame6",  "Frame10",
            "Frame3", "Frame17", "Frame19", "Frame16", "Frame20", "Frame9",  "Frame15", "Frame8"};
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(QLatin1String(rows[i].name), expected[i]);
            QCOMPARE(rows[i].kind, Kind::Frame);
            QCOMPARE(QLatin1String(rows[i].caption), QLatin1String(""));
        }
        const int frames = std::count_if(
            rows.begin(), rows.end(), [](const LayoutRow& row) { return row.kind == Kind::Frame; });
        QCOMPARE(frames, 16);
    }

    // The eighteen press-and-hold buttons are exactly the picture buttons.
    void arrowButtonsHavePressReleaseAndAPicture() {
        int arrows = 0;
        for (const LayoutRow& row : form1Layout()) {
            const bool holds = row.events == Events::PressRelease;
            QCOMPARE(row.picture != Picture::None, holds);
            if (!holds)
                continue;
            ++arrows;
            QCOMPARE(row.kind, Kind::GraphicalButton);
            QCOMPARE(QLatin1String(row.caption), QLatin1String(""));
            QCOMPARE(row.back, 0x0080FFFFu);
        }
        QCOMPARE(arrows, 18);
    }

    // Every button and option of the panel has behaviour; labels and frames have none.
    void panelEventsFollowKind() {
        for (const LayoutRow& row : form1Layout()) {
            const bool clickable = row.kind == Kind::Button || row.kind == Kind::GraphicalButton ||
                                   row.kind == Kind::OptionButton;
            QCOMPARE(row.events != Events::None, clickable);
        }
    }

    void focusOrder_data() {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QStringList>("first");
        QTest::addColumn<QString>("last");
        QTest::newRow("Form1") << "Form1" << QStringList{"Command17", "Command3", "Command13"}
                               << "Command36";
        QTest::newRow("Form2") << "Form2" << QStringList{"Text1"} << "Option7";
        QTest::newRow("Form3") << "Form3" << QStringList{"Combo1",   "Command1", "Command2",
                                                         "Command3", "Text1",    "Command4",
                                                         "Command5", "Combo2",   "Combo3"}
                               << "Combo3";
    }
    void focusOrder() {
        QFETCH(QString, form);
        QFETCH(QStringList, first);
        QFETCH(QString, last);
        const QStringList order = focusableInTabOrder(layoutNamed(form));
        QCOMPARE(order.mid(0, first.size()), first);
        QCOMPARE(order.last(), last);
    }

    void rowPlacement_data() {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("twips");
        QTest::addColumn<int>("tabIndex");
        auto row = [](const char* form, const char* name, const char* parent, Kind kind,
                      const char* caption, QRect twips, int tab) {
            QTest::addRow("%s %s", form, name)
                << form << name << parent << kind << caption << twips << tab;
        };
        row("Form1", "Frame1", "", Kind::Frame, "", {120, 0, 1210, 1575}, 0);
        row("Form1", "Command17", "Frame1", Kind::GraphicalButton, "On", {180, 600, 870, 300}, 1);
        row("Form1", "Command36", "Frame11", Kind::GraphicalButton, "EXIT", {1490, 360, 1250, 300},
            94);
        row("Form1", "Command35", "Frame10", Kind::GraphicalButton, "", {548, 1420, 735, 300}, 47);
        row("Form1", "Command1", "Frame19", Kind::GraphicalButton, "", {120, 480, 735, 300}, 73);
        row("Form1", "Label3", "Frame19", Kind::Label, "FOUCS", {120, 120, 735, 255}, 57);
        row("Form1", "Label10", "Frame9", Kind::Label, "RxD", {120, 612, 372, 180}, 29);
        row("Form1", "Label25", "Frame15", Kind::Label, "", {1020, 135, 4950, 285}, 40);
        row("Form1", "Command74", "", Kind::Button, "Command Table", {6480, 5880, 1850, 375}, 43);
        row("Form1", "Label19", "", Kind::Label, "[ACK]:ACKnowledge Code (0x06)",
            {120, 5880, 3495, 255}, 90);
        row("Form2", "Option1", "Frame1", Kind::OptionButton, "9600", {120, 180, 1575, 375}, 4);
        row("Form2", "Text1", "Frame2", Kind::TextBox, "0", {180, 2040, 375, 270}, 0);
        row("Form2", "Command2", "", Kind::Button, "Cancel", {2040, 2160, 735, 615}, 2);
        row("Form3", "Command5", "", Kind::Button, "Expand Read Command List",
            {5760, 120, 3015, 375}, 6);
        row("Form3", "Combo1", "", Kind::ComboList, "", {120, 2400, 5055, 300}, 0);
        row("Form3", "Combo3", "", Kind::ComboEdit, "", {120, 3360, 8655, 300}, 8);
    }
    void rowPlacement() {
        QFETCH(QString, form);
        QFETCH(QString, name);
        const LayoutRow* row = rowNamed(layoutNamed(form), name);
        QVERIFY(row);
        QTEST(QString::fromLatin1(row->parent ? row->parent : ""), "parent");
        QTEST(row->kind, "kind");
        QTEST(QString::fromLatin1(row->caption), "caption");
        QTEST(twipsRect(*row), "twips");
        QTEST(row->tabIndex, "tabIndex");
    }

    void rowLook_data() {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("name");
        QTest::addColumn<uint>("back");
        QTest::addColumn<uint>("fore");
        QTest::addColumn<double>("points");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<Align>("align");
        QTest::addColumn<bool>("border");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<bool>("selected");
        const uint none = kDefaultColour;
        auto row = [](const char* form, const char* name, uint back, uint fore, double points,
                      bool bold, Align align, bool border, bool visible, bool selected) {
            QTest::addRow("%s %s", form, name) << form << name << back << fore << points << bold
                                               << align << border << visible << selected;
        };
        row("Form1", "Frame1", 0x80000013u, 0x00808080u, 9, false, Align::Left, false, true, false);
        row("Form1", "Label1", 0x80000013u, 0x000000C0u, 9, true, Align::Centre, false, true,
            false);
        row("Form1", "Command34", 0x00FF0000u, none, 9, true, Align::Left, false, true, false);
        row("Form1", "Command54", 0x00FFFFC0u, none, 9.75, true, Align::Left, false, true, false);
        row("Form1", "Command7", 0x0080FFFFu, none, 0, false, Align::Left, false, true, false);
        row("Form1", "Command42", 0x0080FFFFu, none, 12, true, Align::Left, false, true, false);
        row("Form1", "Label11", 0x00FFFFFFu, none, 12, true, Align::Left, true, true, false);
        row("Form1", "Label25", 0x00FFFFFFu, 0x000000FFu, 10.5, true, Align::Left, true, true,
            false);
        row("Form1", "Label27", 0x00C0C0C0u, 0x000000FFu, 9.75, true, Align::Left, false, false,
            false);
        row("Form1", "Option1", none, none, 9, true, Align::Left, false, true, true);
        row("Form2", "Option2", none, none, 0, false, Align::Left, false, true, true);
        row("Form3", "Label2", none, 0x000000FFu, 0, false, Align::Left, false, true, false);
    }
    void rowLook() {
        QFETCH(QString, form);
        QFETCH(QString, name);
        const LayoutRow* row = rowNamed(layoutNamed(form), name);
        QVERIFY(row);
        QTEST(uint(row->back), "back");
        QTEST(uint(row->fore), "fore");
        QTEST(row->font.points, "points");
        QTEST(row->font.bold, "bold");
        QTEST(row->align, "align");
        QTEST(row->border, "border");
        QTEST(row->visible, "visible");
        QTEST(row->selected, "selected");
    }

    void windowSpecs_data() {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("expectedCaption");
        QTest::addColumn<QSize>("clientTwips");
        QTest::addColumn<QSize>("expectedTwips");
        QTest::newRow("Form1") << kForm1Window.caption << "TAVO  MX7300  CONTROL  Ver.1.1"
                               << QSize(kForm1Window.clientWidth, kForm1Window.clientHeight)
                               << QSize(10185, 7620);
        QTest::newRow("Form2") << kForm2Window.caption << "  COM PORT"
                               << QSize(kForm2Window.clientWidth, kForm2Window.clientHeight)
                               << QSize(3105, 4005);
        QTest::newRow("Form3") << kForm3Window.caption << "Command List"
                               << QSize(kForm3Window.clientWidth, kForm3Window.clientHeight)
                               << QSize(10005, 0);
    }
    void windowSpecs() {
        QFETCH(QString, caption);
        QFETCH(QSize, clientTwips);
        QTEST(caption, "expectedCaption");
        QTEST(clientTwips, "expectedTwips");
    }
};

QTEST_APPLESS_MAIN(LayoutTablesTest)
#include "tst_layout_tables.moc"
