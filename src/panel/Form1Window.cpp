#include "Form1Window.h"

#include "Form1Layout.h"
#include "PanelCommands.h"

#include "EarlyClickButton.h"
#include "SerialPort.h"
#include "Timer.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>

namespace tavo {
namespace {

const char* const kLineLabels[] = {"Label11", "Label12", "Label25"};
const char* const kLegendLabels[] = {"Label19", "Label27", "Label28"};
const char* const kRepeatCodeProperty = "tavoRepeatCode";

// The modifier mask the panel's key handler takes: Shift 1, Ctrl 2, Alt 4.
int shiftState(Qt::KeyboardModifiers modifiers) {
    int shift = 0;
    if (modifiers & Qt::ShiftModifier)
        shift |= 1;
    if (modifiers & Qt::ControlModifier)
        shift |= 2;
    if (modifiers & Qt::AltModifier)
        shift |= 4;
    return shift;
}

} // namespace

// Key preview: an application-wide filter that hands the window every key
// pressed in it before the focused control sees it.
class Form1Window::KeyPreview : public QObject {
public:
    explicit KeyPreview(Form1Window& window) : QObject(&window), m_window(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        // A key that no control accepts travels up to the parents; take it
        // once, where it was first delivered: the focus widget, or the window.
        auto* target = qobject_cast<QWidget*>(watched);
        const QWidget* focus = QApplication::focusWidget();
        const bool firstDelivery = target == focus || (!focus && target == &m_window);
        if (target && firstDelivery && target->window() == &m_window) {
            const auto* key = static_cast<QKeyEvent*>(event);
            m_window.m_panel.Form_KeyDown(key->key() < 256 ? key->key() : 0,
                                          shiftState(key->modifiers()));
        }
        return false; // the focused control still gets the key
    }

private:
    Form1Window& m_window;
};

Form1Window::Form1Window(const Form1Parts& parts, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_link(parts.port, parts.timer2, parts.timer4, parts.store, *this, parts.globals),
      m_panel(m_link, parts.timer1, *this), m_quit([] { QCoreApplication::quit(); }) {
    setObjectName(QStringLiteral("Form1"));
    applyWindowDesign(this, kForm1Window);
    if (const QScreen* s = screen())
        m_dpi = s->logicalDotsPerInch();
    m_controls = buildForm(this, form1Layout(), m_dpi);
    wireControls();

    parts.port.setOnComm([this] { m_link.MSComm1_OnComm(); });
    parts.timer1.setOnTimer([this] { m_panel.Timer1_Timer(); });
    parts.timer2.setOnTimer([this] { m_link.Timer2_Timer(); });
    parts.timer4.setOnTimer([this] { m_link.Timer4_Timer(); });

    m_keyPreview = new KeyPreview(*this);
    qApp->installEventFilter(m_keyPreview);
    applyHeight();
}

Form1Window::~Form1Window() {
    qApp->removeEventFilter(m_keyPreview);
}

void Form1Window::wireControls() {
    for (const LayoutRow& row : form1Layout()) {
        const QString name = QString::fromLatin1(row.name);
        auto* button = m_controls.widget<QPushButton>(name);
        if (row.events == Events::PressRelease && button) {
            if (const RepeatCommand* repeat = findRepeat(name)) {
                button->setProperty(kRepeatCodeProperty, int(repeat->code));
                button->installEventFilter(this);
            }
            continue;
        }
        if (row.events != Events::Click)
            continue;
        if (auto* option = m_controls.widget<QRadioButton>(name)) {
            const int number = name.mid(int(qstrlen("Option"))).toInt();
            connect(option, &QRadioButton::clicked, this,
                    [this, number] { m_panel.optionClick(number); });
            continue;
        }
        if (!button)
            continue;
        if (const OneShotCommand* oneShot = findOneShot(name)) {
            const QByteArray command(oneShot->command);
            // Sent before the button repaints its release, so the command is on the line as
            // soon as the click is complete.
            if (auto* early = qobject_cast<EarlyClickButton*>(button)) {
                connect(early, &EarlyClickButton::earlyClicked, this,
                        [this, command] { m_panel.oneShotClick(command); });
            }
        } else if (name == QLatin1String("Command33")) {
            connect(button, &QPushButton::clicked, this, [this] { m_panel.Command33_Click(); });
        } else if (name == QLatin1String("Command74")) {
            connect(button, &QPushButton::clicked, this, [this] { m_panel.Command74_Click(); });
        } else if (name == QLatin1String("Command16")) {
            connect(button, &QPushButton::clicked, this, [this] { m_panel.Command16_Click(); });
        }
    }
}

void Form1Window::load() {
    m_link.Form_Load();
}

int Form1Window::toPixels(int twips) const {
    return twipsToPixels(twips, m_dpi);
}

int Form1Window::toTwips(int pixels) const {
    return qRound(pixels * 1440.0 / m_dpi);
}

void Form1Window::setLineText(Line line, const QString& text) {
    if (auto* label = m_controls.widget<QLabel>(QLatin1String(kLineLabels[int(line)])))
        label->setText(text);
}

void Form1Window::setLegendVisible(Legend legend, bool visible) {
    if (auto* label = m_controls.widget<QLabel>(QLatin1String(kLegendLabels[int(legend)])))
        label->setVisible(visible);
}

int Form1Window::decorationHeight() const {
    const int measured = frameGeometry().height() - geometry().height();
    if (measured > 0)
        return measured;
    // Before the window manager has framed us: a typical title bar and border.
    return style()->pixelMetric(QStyle::PM_TitleBarHeight) + 2 * 4;
}

void Form1Window::applyHeight() {
    const int client = qMax(1, toPixels(m_heightTwips) - decorationHeight());
    setFixedSize(toPixels(kForm1Window.clientWidth), client);
}

void Form1Window::setWindowHeightTwips(int height) {
    m_heightTwips = height;
    applyHeight();
}

QSize Form1Window::windowSizeTwips() const {
    const int sideBorders = qMax(0, frameGeometry().width() - geometry().width());
    return {toTwips(width() + sideBorders), m_heightTwips};
}

QSize Form1Window::screenSizeTwips() const {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s)
        return {};
    return {toTwips(s->geometry().width()), toTwips(s->geometry().height())};
}

void Form1Window::moveWindowTwips(int left, int top) {
    move(toPixels(left), toPixels(top));
}

void Form1Window::showAddressOption(int option) {
    if (auto* button = m_controls.widget<QRadioButton>(QStringLiteral("Option%1").arg(option)))
        button->setChecked(true);
}

void Form1Window::showPortDialogModal() {
    if (m_openPortDialog)
        m_openPortDialog(true);
}

void Form1Window::showSaveWarning(const QString& file, const QString& reason) {
    if (m_presentSaveWarning)
        m_presentSaveWarning(this, file, reason);
}

void Form1Window::setStatusFrameVisible(bool visible) {
    if (QWidget* frame = m_controls.widget(QStringLiteral("Frame15")))
        frame->setVisible(visible);
}

void Form1Window::showPortDialogModeless() {
    if (m_openPortDialog)
        m_openPortDialog(false);
}

void Form1Window::showConsole() {
    if (m_openConsole)
        m_openConsole();
}

void Form1Window::endProgram() {
    close();
}

bool Form1Window::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        // Any mouse button starts a repeat; a quick second press arrives as
        // a double click and must start one too.
        const QVariant code = watched->property(kRepeatCodeProperty);
        if (code.isValid())
            m_panel.arrowMouseDown(quint8(code.toInt()));
        break;
    }
    case QEvent::MouseButtonRelease:
        if (watched->property(kRepeatCodeProperty).isValid())
            m_panel.arrowMouseUp();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void Form1Window::unload() {
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_link.Form_QueryUnload();
}

void Form1Window::closeEvent(QCloseEvent* event) {
    unload();
    event->accept();
    // The process ends with the main window, whatever else is open.
    if (m_quit)
        m_quit();
}

void Form1Window::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    applyHeight();
}

void Form1Window::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    // The window manager's frame arrives after the first show; the designed
    // outer height includes it.
    applyHeight();
}

} // namespace tavo
