#include "FormBuilder.h"

#include "ArrowPicture.h"
#include "EarlyClickButton.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>

namespace tavo {

namespace {

constexpr int kTwipsPerInch = 1440;
constexpr int kTwipsPerPixelAt96Dpi = 15;
constexpr quint32 kSystemColourFlag = 0x80000000u;
constexpr quint32 kInactiveCaptionText = 19;

QString captionOf(const LayoutRow& row) {
    return QString::fromLatin1(row.caption);
}

// Bitmaps are drawn for 96 dpi and grow with the screen like everything else.
int scaledPixels(int pixelsAt96Dpi, double dpi) {
    return twipsToPixels(pixelsAt96Dpi * kTwipsPerPixelAt96Dpi, dpi);
}

void setPaletteColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    if (!colour.isValid())
        return;
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

// Fills the widget with its back colour, if it has one, and sets its text colour.
void applyPaletteColours(QWidget* widget, const LayoutRow& row) {
    const QColor back = designColour(row.back);
    if (back.isValid()) {
        widget->setAutoFillBackground(true);
        setPaletteColour(widget, QPalette::Window, back);
    }
    setPaletteColour(widget, QPalette::WindowText, designColour(row.fore));
}

Qt::Alignment alignmentOf(Align align) {
    switch (align) {
    case Align::Centre:
        return Qt::AlignHCenter | Qt::AlignTop;
    case Align::Right:
        return Qt::AlignRight | Qt::AlignTop;
    case Align::Left:
        break;
    }
    return Qt::AlignLeft | Qt::AlignTop;
}

QString directionWord(Picture picture) {
    switch (picture) {
    case Picture::ArrowUp:
        return QStringLiteral("up");
    case Picture::ArrowDown:
        return QStringLiteral("down");
    case Picture::ArrowLeft:
        return QStringLiteral("left");
    case Picture::ArrowRight:
        return QStringLiteral("right");
    case Picture::None:
        break;
    }
    return {};
}

// A frame's heading is the captioned label inside it; picture-only buttons
// are named after it ("ZOOM up") for screen readers.
QHash<QString, QString> frameHeadings(const std::vector<LayoutRow>& rows) {
    QHash<QString, QString> headings;
    for (const LayoutRow& row : rows) {
        if (row.kind != Kind::Label || !row.parent || !*row.caption)
            continue;
        const QString frame = QString::fromLatin1(row.parent);
        if (!headings.contains(frame))
            headings.insert(frame, captionOf(row));
    }
    return headings;
}

QLabel* makeLabel(const LayoutRow& row, QWidget* container) {
    auto* label = new QLabel(container);
    // Labels show projector replies: never interpret them as rich text.
    label->setTextFormat(Qt::PlainText);
    label->setText(captionOf(row));
    label->setAlignment(alignmentOf(row.align));
    if (row.border)
        label->setFrameStyle(QFrame::Box | QFrame::Plain);
    // A framed label would otherwise indent its text from the top edge too,
    // which pushes a 12 pt line out of its one-line box.
    label->setIndent(0);
    applyPaletteColours(label, row);
    if (row.border) {
        // A plain frame is drawn in the text colour; the box line stays black
        // whatever colour the text has (the status line's text is red).
        QString sheet = QStringLiteral("QLabel { border: 1px solid black; ");
        const QColor back = designColour(row.back);
        if (back.isValid())
            sheet += QStringLiteral("background-color: %1; ").arg(back.name());
        const QColor fore = designColour(row.fore);
        if (fore.isValid())
            sheet += QStringLiteral("color: %1; ").arg(fore.name());
        label->setStyleSheet(sheet + QLatin1Char('}'));
    }
    return label;
}

// A styled face keeps the design colour on every platform style; the outset
// border keeps the button's edge visible on a face of the same colour.
QString graphicalFaceSheet(const LayoutRow& row) {
    const QColor back = designColour(row.back);
    const QColor fore = designColour(row.fore);
    if (!back.isValid() && !fore.isValid())
        return {};
    const QString face = back.isValid() ? back.name() : QStringLiteral("palette(button)");
    QString sheet = QStringLiteral("QPushButton { background-color: %1; border: 2px outset %1; }"
                                   "QPushButton:focus { border-color: black; }"
                                   "QPushButton:pressed { border-style: inset; }")
                        .arg(face);
    if (fore.isValid())
        sheet += QStringLiteral("QPushButton { color: %1; }").arg(fore.name());
    return sheet;
}

QPushButton* makeGraphicalButton(const LayoutRow& row, QWidget* container, double dpi) {
    auto* button = new EarlyClickButton(captionOf(row), container);
    button->setStyleSheet(graphicalFaceSheet(row));
    const QImage picture = arrowPicture(row.picture);
    if (!picture.isNull()) {
        const QSize size(scaledPixels(picture.width(), dpi), scaledPixels(picture.height(), dpi));
        // Nearest-neighbour keeps the triangle's edges crisp when enlarged.
        button->setIcon(QPixmap::fromImage(picture.scaled(size, Qt::IgnoreAspectRatio)));
        button->setIconSize(size);
    }
    return button;
}

QComboBox* makeCombo(QWidget* container, bool editable) {
    auto* combo = new QComboBox(container);
    combo->setEditable(editable);
    return combo;
}

QWidget* makeControl(const LayoutRow& row, QWidget* container, double dpi) {
    switch (row.kind) {
    case Kind::Frame: {
        auto* frame = new QGroupBox(captionOf(row), container);
        applyPaletteColours(frame, row);
        if (*row.caption) {
            // A frame's caption sits on its top line, as the design places the
            // controls inside; the style's default puts it above the line.
            frame->setStyleSheet(QStringLiteral(
                "QGroupBox { border: 1px solid palette(mid); margin-top: 0.5em; }"
                "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"));
        }
        return frame;
    }
    case Kind::Label:
        return makeLabel(row, container);
    case Kind::Button:
        return new EarlyClickButton(captionOf(row), container);
    case Kind::GraphicalButton:
        return makeGraphicalButton(row, container, dpi);
    case Kind::OptionButton: {
        // Auto-exclusive: the option buttons sharing a container form one group.
        auto* option = new QRadioButton(captionOf(row), container);
        option->setChecked(row.selected);
        applyPaletteColours(option, row);
        return option;
    }
    case Kind::TextBox:
        return new QLineEdit(captionOf(row), container);
    case Kind::ComboList:
        return makeCombo(container, false);
    case Kind::ComboEdit:
        return makeCombo(container, true);
    }
    Q_UNREACHABLE();
}

QString accessibleNameOf(const LayoutRow& row, const QHash<QString, QString>& headings) {
    if (row.picture != Picture::None)
        return headings.value(QString::fromLatin1(row.parent)) + QLatin1Char(' ') +
               directionWord(row.picture);
    return captionOf(row);
}

bool hasAccessibleCaption(Kind kind) {
    return kind == Kind::Button || kind == Kind::GraphicalButton || kind == Kind::OptionButton;
}

bool takesFocus(Kind kind) {
    return kind != Kind::Frame && kind != Kind::Label;
}

void chainTabOrder(const std::vector<LayoutRow>& rows, const BuiltForm& form) {
    std::vector<const LayoutRow*> focusable;
    for (const LayoutRow& row : rows) {
        if (takesFocus(row.kind))
            focusable.push_back(&row);
    }
    std::stable_sort(
        focusable.begin(), focusable.end(),
        [](const LayoutRow* a, const LayoutRow* b) { return a->tabIndex < b->tabIndex; });
    for (size_t i = 1; i < focusable.size(); ++i) {
        QWidget::setTabOrder(form.widget(QLatin1String(focusable[i - 1]->name)),
                             form.widget(QLatin1String(focusable[i]->name)));
    }
}

} // namespace

int twipsToPixels(int twips, double dpi) {
    return qRound(twips * dpi / kTwipsPerInch);
}

QSize clientSizeInPixels(const WindowDesign& design, double dpi) {
    return {twipsToPixels(design.clientWidth, dpi), twipsToPixels(design.clientHeight, dpi)};
}

QColor designColour(quint32 code) {
    if (code == kDefaultColour)
        return {};
    if (code & kSystemColourFlag) {
        // No platform has a palette role for inactive caption text; its
        // disabled text grey is the closest.
        if ((code & ~kSystemColourFlag) == kInactiveCaptionText)
            return QGuiApplication::palette().color(QPalette::Disabled, QPalette::WindowText);
        return {};
    }
    return QColor(code & 0xFF, (code >> 8) & 0xFF, (code >> 16) & 0xFF);
}

QFont designFont(double points, bool bold) {
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"),
                      QFontDatabase::systemFont(QFontDatabase::GeneralFont).family()});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

void applyWindowDesign(QWidget* window, const WindowDesign& design) {
    window->setWindowTitle(QString::fromLatin1(design.caption));
    if (design.fontPoints > 0)
        window->setFont(designFont(design.fontPoints, false));
    const QColor back = designColour(design.back);
    if (back.isValid()) {
        window->setAutoFillBackground(true);
        setPaletteColour(window, QPalette::Window, back);
    }
    setPaletteColour(window, QPalette::WindowText, designColour(design.fore));
}

BuiltForm buildForm(QWidget* client, const std::vector<LayoutRow>& rows, double dpi) {
    BuiltForm form;
    const QFont windowFont = client->font();
    const QHash<QString, QString> headings = frameHeadings(rows);
    for (const LayoutRow& row : rows) {
        QWidget* container = row.parent ? form.widget(QLatin1String(row.parent)) : client;
        Q_ASSERT_X(container, "buildForm", "a frame's row must come before its controls");
        QWidget* control = makeControl(row, container, dpi);
        control->setObjectName(QLatin1String(row.name));
        control->setGeometry(twipsToPixels(row.left, dpi), twipsToPixels(row.top, dpi),
                             twipsToPixels(row.width, dpi), twipsToPixels(row.height, dpi));
        // Set even when inherited: a control inside a frame takes the
        // window's font, not the frame's.
        control->setFont(row.font.points > 0 ? designFont(row.font.points, row.font.bold)
                                             : windowFont);
        if (hasAccessibleCaption(row.kind))
            control->setAccessibleName(accessibleNameOf(row, headings));
        control->setVisible(row.visible);
        form.add(control->objectName(), control);
    }
    chainTabOrder(rows, form);
    return form;
}

BuiltForm buildForm(QWidget* client, const std::vector<LayoutRow>& rows) {
    return buildForm(client, rows, client->logicalDpiY());
}

} // namespace tavo
