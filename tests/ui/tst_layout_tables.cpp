// The layout tables' structure: names, tab order, containment, overlaps, fonts,
// names for the operator and the panel's handlers.
#include "FormTables.h"

#include "PanelCommands.h"
#include "TestClasses.h"

#include <QRect>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <limits>

using namespace tavo;
using namespace tavo::test;

namespace {

QRect twipsRect(const LayoutRow& row) {
    return {row.left, row.top, row.width, row.height};
}

QSize clientTwips(const QString& form) {
    const WindowDesign& design = form == QLatin1String("Form1")   ? kForm1Window
                                 : form == QLatin1String("Form2") ? kForm2Window
                                                                  : kForm3Window;
    return {design.clientWidth, design.clientHeight};
}

qint64 area(const QRect& r) {
    return r.isEmpty() ? 0 : qint64(r.width()) * r.height();
}

// At least half of `inner` lies within `outer`.
bool mostlyIn(const QRect& inner, const QRect& outer) {
    return 2 * area(inner.intersected(outer)) >= area(inner);
}

bool isButton(Kind kind) {
    return kind == Kind::Button || kind == Kind::GraphicalButton;
}

// The panel's buttons that open the other windows or end the program.
const QStringList kWindowButtons = {"Command33", "Command74", "Command16"};

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

    // A control placed outside its frame or window (coordinates taken relative
    // to the wrong container, a wrong parent) is cut off where the operator
    // cannot reach it. A design may let an edge run a few twips past its frame.
    void everyControlLiesInsideItsContainer_data() { addForms(); }
    void everyControlLiesInsideItsContainer() {
        QFETCH(QString, form);
        const auto& rows = layoutNamed(form);
        for (const LayoutRow& row : rows) {
            QSize inside = clientTwips(form);
            if (row.parent) {
                const LayoutRow* frame = rowNamed(rows, QLatin1String(row.parent));
                QVERIFY2(frame && frame->kind == Kind::Frame, row.name);
                inside = {frame->width, frame->height};
            }
            // A window that sets its height at load has none in its design.
            if (inside.height() == 0)
                inside.setHeight(std::numeric_limits<int>::max() / 2);
            const QRect container(QPoint(0, 0), inside);
            const QRect control = twipsRect(row);
            QVERIFY2(!control.isEmpty(), row.name);
            QVERIFY2(container.contains(control.topLeft()), row.name);
            QVERIFY2(mostlyIn(control, container), row.name);
        }
    }

    // Controls that take clicks or keys, and frames, must not lie on each
    // other: the upper one would hide the lower one or take its clicks. A
    // design may let neighbours' edges touch or overlap a little.
    void controlsDoNotOverlap_data() { addForms(); }
    void controlsDoNotOverlap() {
        QFETCH(QString, form);
        const auto& rows = layoutNamed(form);
        for (size_t i = 0; i < rows.size(); ++i) {
            for (size_t j = i + 1; j < rows.size(); ++j) {
                const LayoutRow& a = rows[i];
                const LayoutRow& b = rows[j];
                const bool sameContainer =
                    (!a.parent && !b.parent) ||
                    (a.parent && b.parent && qstrcmp(a.parent, b.parent) == 0);
                const bool bothTakeInput = takesFocus(a.kind) && takesFocus(b.kind);
                const bool bothFrames = a.kind == Kind::Frame && b.kind == Kind::Frame;
                if (!sameContainer || !(bothTakeInput || bothFrames))
                    continue;
                const QRect common = twipsRect(a).intersected(twipsRect(b));
                QVERIFY2(!mostlyIn(twipsRect(a), common) && !mostlyIn(twipsRect(b), common),
                         qPrintable(QStringLiteral("%1 and %2").arg(a.name, b.name)));
            }
        }
    }

    // Captions use the design's point sizes; 0 takes the window's font.
    void fontsAreDesignSizes_data() { addForms(); }
    void fontsAreDesignSizes() {
        QFETCH(QString, form);
        for (const LayoutRow& row : layoutNamed(form)) {
            const double points = row.font.points;
            QVERIFY2(points == 0 || (points >= 7.5 && points <= 12), row.name);
        }
    }

    // Every button and option has a name for the operator (and a screen
    // reader): its caption, or for a picture button its frame's heading.
    void everyButtonHasAName_data() { addForms(); }
    void everyButtonHasAName() {
        QFETCH(QString, form);
        const auto& rows = layoutNamed(form);
        for (const LayoutRow& row : rows) {
            if (!isButton(row.kind) && row.kind != Kind::OptionButton)
                continue;
            if (*row.caption)
                continue;
            QVERIFY2(row.picture != Picture::None && row.parent, row.name);
            const bool headed = std::any_of(rows.begin(), rows.end(), [&](const LayoutRow& other) {
                return other.kind == Kind::Label && other.parent &&
                       qstrcmp(other.parent, row.parent) == 0 && *other.caption;
            });
            QVERIFY2(headed, row.name);
        }
    }

    // Option buttons sharing a container form one group: one selection at most.
    void optionGroupsHaveOneSelection_data() { addForms(); }
    void optionGroupsHaveOneSelection() {
        QFETCH(QString, form);
        QSet<QString> selectedIn;
        for (const LayoutRow& row : layoutNamed(form)) {
            if (row.kind != Kind::OptionButton || !row.selected)
                continue;
            const QString group = QLatin1String(row.parent ? row.parent : "");
            QVERIFY2(!selectedIn.contains(group), row.name);
            selectedIn.insert(group);
        }
    }

    // The panel's groups are frames without a caption of their own, each
    // headed by a captioned label inside it.
    void panelFramesAreHeadedByALabel() {
        const auto& rows = form1Layout();
        for (const LayoutRow& frame : rows) {
            if (frame.kind != Kind::Frame)
                continue;
            QCOMPARE(QLatin1String(frame.caption), QLatin1String(""));
            const bool headed = std::any_of(rows.begin(), rows.end(), [&](const LayoutRow& row) {
                return row.kind == Kind::Label && row.parent &&
                       qstrcmp(row.parent, frame.name) == 0 && *row.caption;
            });
            QVERIFY2(headed, frame.name);
        }
    }

    // Every panel button with behaviour has its handler, and every command
    // table row names a button of the right kind: a button the table misses
    // would do nothing, a row naming a missing button would never be sent.
    void everyPanelHandlerResolves() {
        const auto& rows = form1Layout();
        for (const LayoutRow& row : rows) {
            const QString name = QLatin1String(row.name);
            if (isButton(row.kind) && row.events == Events::Click)
                QVERIFY2(findOneShot(name) || kWindowButtons.contains(name), row.name);
            if (row.events == Events::PressRelease)
                QVERIFY2(findRepeat(name), row.name);
            if (row.kind == Kind::OptionButton) {
                const int number = name.mid(int(qstrlen("Option"))).toInt();
                QVERIFY2(name.startsWith(QLatin1String("Option")) && number >= 1 && number <= 6,
                         row.name);
            }
        }
        for (int i = 0; i < kOneShotCount; ++i) {
            const LayoutRow* row = rowNamed(rows, QLatin1String(oneShotCommands()[i].control));
            QVERIFY2(row && isButton(row->kind) && row->events == Events::Click,
                     oneShotCommands()[i].control);
        }
        for (int i = 0; i < kRepeatCount; ++i) {
            const LayoutRow* row = rowNamed(rows, QLatin1String(repeatCommands()[i].control));
            QVERIFY2(row && row->events == Events::PressRelease, repeatCommands()[i].control);
        }
        for (const QString& name : kWindowButtons) {
            const LayoutRow* row = rowNamed(rows, name);
            QVERIFY2(row && isButton(row->kind) && row->events == Events::Click, qPrintable(name));
        }
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
        QCOMPARE(arrows, kRepeatCount);
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

TAVO_TEST_CLASS(LayoutTablesTest)
#include "tst_layout_tables.moc"
