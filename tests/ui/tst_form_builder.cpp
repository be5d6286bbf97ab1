// Windows built from the layout tables: geometry in pixels, names, tab
// order, accessible names, text formats, fonts, colours and design state.
#include "FormBuilder.h"
#include "FormTables.h"
#include "TestClasses.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <memory>

using namespace tavo;
using namespace tavo::test;

Q_DECLARE_METATYPE(QPalette::ColorRole)

namespace {

const WindowDesign& windowNamed(const QString& form) {
    if (form == QLatin1String("Form1"))
        return kForm1Window;
    if (form == QLatin1String("Form2"))
        return kForm2Window;
    return kForm3Window;
}

struct BuiltWindow {
    std::unique_ptr<QWidget> client = std::make_unique<QWidget>();
    BuiltForm form;
};

std::unique_ptr<BuiltWindow> build(const QString& form, double dpi = 96) {
    auto window = std::make_unique<BuiltWindow>();
    applyWindowDesign(window->client.get(), windowNamed(form));
    window->form = buildForm(window->client.get(), layoutNamed(form), dpi);
    return window;
}

QRect pixelRect(const LayoutRow& row, double dpi) {
    return {twipsToPixels(row.left, dpi), twipsToPixels(row.top, dpi),
            twipsToPixels(row.width, dpi), twipsToPixels(row.height, dpi)};
}

void addForms() {
    QTest::addColumn<QString>("form");
    for (const char* form : {"Form1", "Form2", "Form3"})
        QTest::newRow(form) << form;
}

} // namespace

class FormBuilderTest : public QObject {
    Q_OBJECT

private slots:
    void twipsToPixels_data() {
        QTest::addColumn<int>("twips");
        QTest::addColumn<double>("dpi");
        QTest::addColumn<int>("pixels");
        QTest::newRow("one pixel") << 15 << 96.0 << 1;
        QTest::newRow("one inch") << 1440 << 96.0 << 96;
        QTest::newRow("rounds up") << 548 << 96.0 << 37;
        QTest::newRow("rounds down") << 7 << 96.0 << 0;
        QTest::newRow("just over half") << 8 << 96.0 << 1;
        QTest::newRow("window width") << 10185 << 96.0 << 679;
        QTest::newRow("half at 144") << 735 << 144.0 << 74;
        QTest::newRow("120 dpi") << 300 << 120.0 << 25;
        QTest::newRow("inch at 144") << 1440 << 144.0 << 144;
    }
    void twipsToPixels() {
        QFETCH(int, twips);
        QFETCH(double, dpi);
        QTEST(tavo::twipsToPixels(twips, dpi), "pixels");
    }

    void clientSize_data() {
        QTest::addColumn<QString>("form");
        QTest::addColumn<double>("dpi");
        QTest::addColumn<QSize>("pixels");
        QTest::newRow("Form1 96") << "Form1" << 96.0 << QSize(679, 508);
        QTest::newRow("Form1 144") << "Form1" << 144.0 << QSize(1019, 762);
        QTest::newRow("Form2 96") << "Form2" << 96.0 << QSize(207, 267);
        QTest::newRow("Form3 96") << "Form3" << 96.0 << QSize(667, 0);
    }
    void clientSize() {
        QFETCH(QString, form);
        QFETCH(double, dpi);
        QTEST(clientSizeInPixels(windowNamed(form), dpi), "pixels");
    }

    // Every control exists under its container at its design geometry.
    void everyControlPlaced_data() {
        QTest::addColumn<QString>("form");
        QTest::addColumn<double>("dpi");
        for (const char* form : {"Form1", "Form2", "Form3"}) {
            QTest::addRow("%s 96 dpi", form) << form << 96.0;
            QTest::addRow("%s 144 dpi", form) << form << 144.0;
        }
    }
    void everyControlPlaced() {
        QFETCH(QString, form);
        QFETCH(double, dpi);
        const auto window = build(form, dpi);
        const auto& rows = layoutNamed(form);
        QCOMPARE(window->form.all().size(), qsizetype(rows.size()));
        for (const LayoutRow& row : rows) {
            QWidget* widget = window->form.widget(QLatin1String(row.name));
            QVERIFY2(widget, row.name);
            QCOMPARE(widget->objectName(), QLatin1String(row.name));
            QWidget* container =
                row.parent ? window->form.widget(QLatin1String(row.parent)) : window->client.get();
            QVERIFY2(widget->parentWidget() == container, row.name);
            QCOMPARE(widget->geometry(), pixelRect(row, dpi));
        }
    }

    // Tab walks the focusable controls in TabIndex order and wraps around.
    void focusChainFollowsTabIndex_data() { addForms(); }
    void focusChainFollowsTabIndex() {
        QFETCH(QString, form);
        const auto window = build(form);
        const auto& rows = layoutNamed(form);
        const QStringList expected = focusableInTabOrder(rows);
        QWidget* first = window->form.widget(expected.first());
        QStringList walked{expected.first()};
        for (QWidget* widget = first->nextInFocusChain(); widget != first;
             widget = widget->nextInFocusChain()) {
            QVERIFY(walked.size() <= expected.size());
            const LayoutRow* row = rowNamed(rows, widget->objectName());
            if (row && window->form.widget(widget->objectName()) == widget && takesFocus(row->kind))
                walked << widget->objectName();
        }
        QCOMPARE(walked, expected);
        for (const LayoutRow& row : rows) {
            const bool tabs =
                window->form.widget(QLatin1String(row.name))->focusPolicy() & Qt::TabFocus;
            QVERIFY2(tabs == takesFocus(row.kind), row.name);
        }
    }

    void accessibleNames_data() {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("accessibleName");
        auto row = [](const char* form, const char* name, const char* accessibleName) {
            QTest::newRow(accessibleName) << form << name << accessibleName;
        };
        row("Form1", "Command30", "ZOOM up");
        row("Form1", "Command1", "FOUCS up");
        row("Form1", "Command38", "MENU left");
        row("Form1", "Command8", "MENU right");
        row("Form1", "Command15", "LENS SHIFT left");
        row("Form1", "Command17", "On");
        row("Form1", "Option1", "SINGLE");
        row("Form2", "Command1", "OK");
        row("Form3", "Command1", "SEND");
    }
    void accessibleNames() {
        QFETCH(QString, form);
        QFETCH(QString, name);
        const auto window = build(form);
        QWidget* widget = window->form.widget(name);
        QVERIFY(widget);
        QTEST(widget->accessibleName(), "accessibleName");
    }

    // Labels show projector text as typed, with the design's alignment and border.
    void labelsArePlainText_data() { addForms(); }
    void labelsArePlainText() {
        QFETCH(QString, form);
        const auto window = build(form);
        int labels = 0;
        for (const LayoutRow& row : layoutNamed(form)) {
            if (row.kind != Kind::Label)
                continue;
            ++labels;
            auto* label = window->form.widget<QLabel>(QLatin1String(row.name));
            QVERIFY2(label, row.name);
            QCOMPARE(label->textFormat(), Qt::PlainText);
            QCOMPARE(label->text(), QLatin1String(row.caption));
            QVERIFY2(label->accessibleName().isEmpty(), row.name);
            QCOMPARE(label->frameShape(), row.border ? QFrame::Box : QFrame::NoFrame);
            const Qt::Alignment horizontal = label->alignment() & Qt::AlignHorizontal_Mask;
            const Qt::Alignment expected = row.align == Align::Centre  ? Qt::AlignHCenter
                                           : row.align == Align::Right ? Qt::AlignRight
                                                                       : Qt::AlignLeft;
            QCOMPARE(horizontal, expected);
        }
        QVERIFY(labels > 0);
    }

    // The transcript marks spaces with "_": it must show inside the one-line
    // boxes, not under their bottom border.
    void underscoreShowsInsideBorderedLabels_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("TxD") << "Label11";
        QTest::newRow("RxD") << "Label12";
        QTest::newRow("status") << "Label25";
    }
    void underscoreShowsInsideBorderedLabels() {
        QFETCH(QString, name);
        const auto window = build("Form1");
        auto* label = window->form.widget<QLabel>(name);
        label->setText(" _");
        const QImage image = label->grab().toImage();
        const QRgb back = label->palette().color(QPalette::Window).rgb();
        int ink = 0;
        for (int y = 1; y < image.height() - 1; ++y) {
            for (int x = 1; x < image.width() - 1; ++x)
                ink += image.pixel(x, y) != back;
        }
        QVERIFY2(ink > 0, "the underscore is hidden");
    }

    void panelDesignState() {
        const auto window = build("Form1");
        const BuiltForm& form = window->form;
        for (const char* legend : {"Label19", "Label27", "Label28"})
            QVERIFY2(form.widget(legend)->isHidden(), legend);
        QVERIFY(!form.widget("Label25")->isHidden());
        QVERIFY(!form.widget("Frame15")->isHidden());
        QVERIFY(form.widget<QRadioButton>("Option1")->isChecked());
        QVERIFY(!form.widget<QRadioButton>("Option2")->isChecked());
        QCOMPARE(form.widget<QGroupBox>("Frame1")->title(), QString());
        QVERIFY(form.widget<QPushButton>("Command7")->text().isEmpty());
        QVERIFY(!form.widget<QPushButton>("Command7")->icon().isNull());
        QVERIFY(form.widget<QPushButton>("Command16")->styleSheet().isEmpty());
    }

    void dialogAndConsoleDesignState() {
        const auto dialog = build("Form2");
        QCOMPARE(dialog->form.widget<QGroupBox>("Frame1")->title(), QString("Baud Rate"));
        QCOMPARE(dialog->form.widget<QGroupBox>("Frame2")->title(), QString("Com Port"));
        QCOMPARE(dialog->form.widget<QLineEdit>("Text1")->text(), QString("0"));
        QVERIFY(dialog->form.widget<QRadioButton>("Option2")->isChecked());
        for (const char* port : {"Option1", "Option3", "Option4", "Option5", "Option6", "Option7"})
            QVERIFY2(!dialog->form.widget<QRadioButton>(port)->isChecked(), port);

        const auto console = build("Form3");
        QVERIFY(!console->form.widget<QComboBox>("Combo1")->isEditable());
        QVERIFY(console->form.widget<QComboBox>("Combo2")->isEditable());
        QVERIFY(console->form.widget<QComboBox>("Combo3")->isEditable());
        QVERIFY(console->form.widget<QLineEdit>("Text1")->text().isEmpty());
    }

    // Options are exclusive within their frame and independent across frames.
    void optionGroups_data() {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("clicked");
        QTest::addColumn<QStringList>("checked");
        auto row = [](const char* form, const char* clicked, QStringList checked) {
            QTest::addRow("%s %s", form, clicked) << form << clicked << checked;
        };
        row("Form1", "Option4", {"Option4"});
        row("Form2", "Option3", {"Option2", "Option3"}); // a port leaves the baud alone
        row("Form2", "Option1", {"Option1"});
    }
    void optionGroups() {
        QFETCH(QString, form);
        QFETCH(QString, clicked);
        QFETCH(QStringList, checked);
        const auto window = build(form);
        window->form.widget<QRadioButton>(clicked)->click();
        QStringList nowChecked;
        for (const LayoutRow& row : layoutNamed(form)) {
            auto* option = window->form.widget<QRadioButton>(QLatin1String(row.name));
            if (option && option->isChecked())
                nowChecked << option->objectName();
        }
        nowChecked.sort();
        QCOMPARE(nowChecked, checked);
    }

    // A control without a font of its own takes the window's, even inside a
    // frame that has one (Frame6 is 9 pt, its arrow buttons 7.5 pt).
    void fonts_data() {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("points");
        QTest::addColumn<bool>("bold");
        auto row = [](const char* form, const char* name, double points, bool bold) {
            QTest::addRow("%s %s", form, name) << form << name << points << bold;
        };
        row("Form1", "Label1", 9, true);
        row("Form1", "Command30", 12, true);
        row("Form1", "Command7", 7.5, false); // MENU arrow in the 9 pt Frame6
        row("Form1", "Frame11", 7.5, false);
        row("Form1", "Option1", 9, true);
        row("Form2", "Command1", 9, false);
    }
    void fonts() {
        QFETCH(QString, form);
        QFETCH(QString, name);
        const auto window = build(form);
        const QFont font = window->form.widget(name)->font();
        QTEST(font.pointSizeF(), "points");
        QTEST(font.bold(), "bold");
        QCOMPARE(font.families().value(0), QString::fromUtf8("ＭＳ Ｐゴシック"));
        QCOMPARE(font.families().value(1), QString("IPAPGothic"));
    }

    void designColour_data() {
        QTest::addColumn<uint>("code");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("green") << 0x0080FF80u << QColor(128, 255, 128);
        QTest::newRow("teal") << 0x00C0C000u << QColor(0, 192, 192);
        QTest::newRow("blue") << 0x00FF0000u << QColor(0, 0, 255);
        QTest::newRow("dark red") << 0x000000C0u << QColor(192, 0, 0);
        QTest::newRow("orange") << 0x0080C0FFu << QColor(255, 192, 128);
        QTest::newRow("platform default") << uint(kDefaultColour) << QColor();
    }
    void designColour() {
        QFETCH(uint, code);
        QTEST(tavo::designColour(code), "colour");
    }

    void inactiveCaptionTextIsAPlatformGrey() {
        const QColor grey = tavo::designColour(0x80000013u);
        QVERIFY(grey.isValid());
        QCOMPARE(grey.red(), grey.green());
        QCOMPARE(grey.green(), grey.blue());
    }

    void paletteColours_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QPalette::ColorRole>("role");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("status back") << "Label25" << QPalette::Window << QColor(255, 255, 255);
        QTest::newRow("status text") << "Label25" << QPalette::WindowText << QColor(255, 0, 0);
        QTest::newRow("POWER text") << "Label1" << QPalette::WindowText << QColor(192, 0, 0);
        QTest::newRow("POWER frame text")
            << "Frame1" << QPalette::WindowText << QColor(128, 128, 128);
    }
    void paletteColours() {
        QFETCH(QString, name);
        QFETCH(QPalette::ColorRole, role);
        const auto window = build("Form1");
        QWidget* widget = window->form.widget(name);
        QTEST(widget->palette().color(role), "colour");
        if (role == QPalette::Window) {
            // What is painted, not only what is set: a pixel inside the edge.
            const QImage face = widget->grab().toImage();
            QCOMPARE(face.pixelColor(3, face.height() / 2), widget->palette().color(role));
        }
    }

    // The face of a coloured button, just inside its edge, shows its colour.
    void graphicalButtonFace_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QColor>("face");
        QTest::newRow("POWER On") << "Command17" << QColor(128, 255, 128);
        QTest::newRow("Timer") << "Command34" << QColor(0, 0, 255);
        QTest::newRow("MENU down") << "Command7" << QColor(255, 255, 128);
    }
    void graphicalButtonFace() {
        QFETCH(QString, name);
        const auto window = build("Form1");
        QWidget* button = window->form.widget(name);
        const QImage face = button->grab().toImage();
        QTEST(QColor(face.pixel(5, face.height() / 2)), "face");
    }

    void arrowIconScalesWithDpi_data() {
        QTest::addColumn<double>("dpi");
        QTest::addColumn<QSize>("iconSize");
        QTest::newRow("96") << 96.0 << QSize(17, 9);
        QTest::newRow("144") << 144.0 << QSize(26, 14);
    }
    void arrowIconScalesWithDpi() {
        QFETCH(double, dpi);
        QFETCH(QSize, iconSize);
        const auto window = build("Form1", dpi);
        auto* up = window->form.widget<QPushButton>("Command30");
        QCOMPARE(up->iconSize(), iconSize);
        const QImage picture = up->icon().pixmap(iconSize).toImage();
        QCOMPARE(picture.size(), iconSize);
        QCOMPARE(QColor(picture.pixel(0, 0)), QColor(255, 255, 0));
        QCOMPARE(QColor(picture.pixel(iconSize.width() / 2, 0)), QColor(0, 0, 0));
        QCOMPARE(QColor(picture.pixel(0, iconSize.height() - 1)), QColor(0, 0, 0));
    }

    void windowDesignApplied() {
        QWidget window;
        applyWindowDesign(&window, kForm1Window);
        QCOMPARE(window.windowTitle(), QString("TAVO  MX7300  CONTROL  Ver.1.1"));
        QCOMPARE(window.font().pointSizeF(), 7.5);
        QCOMPARE(window.palette().color(QPalette::Window), QColor(192, 192, 192));
        QCOMPARE(window.palette().color(QPalette::WindowText), QColor(0, 0, 0));
    }
};

TAVO_TEST_CLASS(FormBuilderTest)
#include "tst_form_builder.moc"
