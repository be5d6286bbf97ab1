#include "Form3Window.h"

#include "Form3Layout.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>

namespace tavo {

namespace {

using catalogue::List;

constexpr List kLists[] = {List::Combo1, List::Combo2, List::Combo3};

const char* comboName(List list) {
    switch (list) {
    case List::Combo1:
        return "Combo1";
    case List::Combo2:
        return "Combo2";
    case List::Combo3:
        return "Combo3";
    }
    Q_UNREACHABLE();
}

// An entry as a list line: Latin-1, tabs kept for the description's column,
// any other control character (a stray CR LF) shown as a space.
QString displayText(const QByteArray& entry) {
    QString text = QString::fromLatin1(entry);
    for (QChar& c : text) {
        if (c.unicode() < 0x20 && c != QLatin1Char('\t'))
            c = QLatin1Char(' ');
    }
    return text;
}

} // namespace

Form3Window::Form3Window(ProjectorLink& link, std::function<void()> onClosed, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_model(link, *this, std::move(onClosed)) {
    setObjectName(QStringLiteral("Form3"));
    setAttribute(Qt::WA_DeleteOnClose);
    applyWindowDesign(this, kForm3Window);
    m_form = buildForm(this, form3Layout());
    for (List list : kLists) {
        m_combos[int(list)] = m_form.widget<QComboBox>(QLatin1String(comboName(list)));
        Q_ASSERT(m_combos[int(list)]);
        fillCombo(list);
    }
    m_text1 = m_form.widget<QLineEdit>(QStringLiteral("Text1"));
    m_send = m_form.widget<QPushButton>(QStringLiteral("Command1"));
    m_parameterHint = m_form.widget<QLabel>(QStringLiteral("Label1"));
    m_carriageReturnHint = m_form.widget<QLabel>(QStringLiteral("Label2"));
    Q_ASSERT(m_text1 && m_send && m_parameterHint && m_carriageReturnHint);
    setFixedWidth(pixels(kForm3Window.clientWidth));
    connectControls();
    m_model.Form_Load();
}

int Form3Window::pixels(int twips) const {
    return twipsToPixels(twips, logicalDpiY());
}

QComboBox* Form3Window::combo(List list) const {
    return m_combos[int(list)];
}

void Form3Window::fillCombo(List list) {
    QComboBox* box = combo(list);
    const int count = catalogue::entryCount(list);
    QStringList lines;
    lines.reserve(count);
    for (int row = 0; row < count; ++row)
        lines << displayText(catalogue::entry(list, row));
    box->addItems(lines);
    if (box->isEditable()) {
        // The edit field is scratch space: what is typed there is neither added
        // to the list, nor completed, nor (on Enter or leaving the field) taken
        // as a selection of the entry it happens to spell.
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setCompleter(nullptr);
        QObject::disconnect(box->lineEdit(), &QLineEdit::editingFinished, box, nullptr);
    }
}

void Form3Window::connectControls() {
    const auto button = [this](const char* name) {
        return m_form.widget<QPushButton>(QLatin1String(name));
    };
    connect(button("Command3"), &QPushButton::clicked, this, [this] { m_model.Command3_Click(); });
    connect(button("Command4"), &QPushButton::clicked, this, [this] { m_model.Command4_Click(); });
    connect(button("Command5"), &QPushButton::clicked, this, [this] { m_model.Command5_Click(); });
    connect(m_send, &QPushButton::clicked, this, [this] { m_model.Command1_Click(); });
    connect(button("Command2"), &QPushButton::clicked, this, [this] { m_model.Command2_Click(); });
    // activated: the operator's choice only (mouse, arrow keys); the console's
    // own selections go through the model directly.
    for (List list : kLists) {
        connect(combo(list), &QComboBox::activated, this,
                [this, list](int row) { m_model.comboClick(list, row); });
    }
    connect(m_text1, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_model.Text1_Change(text); });
}

void Form3Window::showList(List list) {
    for (List each : kLists)
        combo(each)->setVisible(each == list);
}

void Form3Window::selectRow(List list, int row) {
    combo(list)->setCurrentIndex(row);
}

void Form3Window::setHintVisible(ConsoleHint hint, bool visible) {
    (hint == ConsoleHint::Label1 ? m_parameterHint : m_carriageReturnHint)->setVisible(visible);
}

void Form3Window::setCommandText(const QString& text) {
    const QSignalBlocker quiet(m_text1);
    m_text1->setText(text);
}

void Form3Window::focusCommandText() {
    m_text1->setFocus(Qt::OtherFocusReason);
}

void Form3Window::setWindowHeightTwips(int height) {
    m_outerHeightPixels = pixels(height);
    applyOuterHeight();
}

// The title bar and borders: known once the window is on screen (and 0 on
// frameless platforms); before that, the style's title bar height stands in.
int Form3Window::frameHeightPixels() const {
    if (isVisible())
        return frameGeometry().height() - height();
    return style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
}

void Form3Window::applyOuterHeight() {
    if (m_outerHeightPixels <= 0)
        return;
    const int client = qMax(1, m_outerHeightPixels - frameHeightPixels());
    if (client != height() || minimumHeight() != maximumHeight())
        setFixedHeight(client);
}

void Form3Window::moveListsTop(int twips) {
    for (List list : kLists)
        combo(list)->move(combo(list)->x(), pixels(twips));
}

void Form3Window::setSendEnabled(bool enabled) {
    m_send->setEnabled(enabled);
}

void Form3Window::closeWindow() {
    if (m_inCloseEvent)
        return; // the close under way is this one
    m_closingByModel = true;
    close();
}

void Form3Window::closeEvent(QCloseEvent* event) {
    if (!m_closingByModel) {
        m_inCloseEvent = true;
        m_model.closeBox();
        m_inCloseEvent = false;
    }
    event->accept();
}

// The frame's size is known only now, or a little later on some window
// managers (the frame then moves the client area).
void Form3Window::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    applyOuterHeight();
}

void Form3Window::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    applyOuterHeight();
}

} // namespace tavo
