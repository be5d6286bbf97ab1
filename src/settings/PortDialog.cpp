#include "PortDialog.h"

#include "Form2Layout.h"

#include "link/SerialPort.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

namespace tavo {
namespace {
constexpr int kPortOptions = 5; // "COM1".."COM5" are Option3..Option7
QString portOptionName(int port) {
    return QStringLiteral("Option%1").arg(port + 2);
}
} // namespace

PortDialog::PortDialog(SerialPort& port, SettingsStore& store, Globals& globals,
                       DeviceResolver resolveDevice, std::function<void()> showMain,
                       QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_model(port, store, globals, *this), m_resolveDevice(std::move(resolveDevice)),
      m_showMain(std::move(showMain)) {
    setObjectName(QStringLiteral("Form2"));
    setAttribute(Qt::WA_DeleteOnClose);
    applyWindowDesign(this, kForm2Window);
    setFixedSize(clientSizeInPixels(kForm2Window, logicalDpiY()));
    m_controls = buildForm(this, form2Layout());
    describeDevices();
    addDevicesButton();
    m_model.Form_Load();
    wireControls();
}

void PortDialog::wireControls() {
    auto clicked = [this](const QString& name, auto handler) {
        if (auto* button = m_controls.widget<QAbstractButton>(name))
            connect(button, &QAbstractButton::clicked, this, handler);
    };
    clicked(QStringLiteral("Option1"), [this] { m_model.Option1_Click(); });
    clicked(QStringLiteral("Option2"), [this] { m_model.Option2_Click(); });
    for (int port = 1; port <= kPortOptions; ++port)
        clicked(portOptionName(port), [this, port] { m_model.portOptionClick(port); });
    clicked(QStringLiteral("Command1"), [this] { m_model.Command1_Click(); });
    clicked(QStringLiteral("Command2"), [this] { m_model.Command2_Click(); });
    if (auto* other = m_controls.widget<QLineEdit>(QStringLiteral("Text1"))) {
        connect(other, &QLineEdit::textChanged, this, [this, other](const QString& text) {
            m_model.Text1_Change(text);
            const int port = text.trimmed().toInt();
            other->setToolTip(
                isUsablePort(port)
                    ? QStringLiteral("COM%1 is %2").arg(port).arg(m_resolveDevice(port))
                    : QStringLiteral("Another port, 1 to 15"));
        });
    }
}

// In the free space under Cancel, after every designed control in tab order.
void PortDialog::addDevicesButton() {
    const double dpi = logicalDpiY();
    m_devicesButton = new QPushButton(QStringLiteral("Devices…"), this);
    m_devicesButton->setObjectName(QStringLiteral("DevicesButton"));
    m_devicesButton->setToolTip(
        QStringLiteral("Choose the device each COM number opens: a serial port of this computer "
                       "or a network port (tcp:// or rfc2217://)"));
    m_devicesButton->setGeometry(twipsToPixels(1920, dpi), twipsToPixels(3240, dpi),
                                 twipsToPixels(1065, dpi), twipsToPixels(375, dpi));
    m_devicesButton->setEnabled(false); // until there is somewhere to go
    connect(m_devicesButton, &QPushButton::clicked, this, [this] {
        if (!m_openDevices)
            return;
        m_openDevices(this);
        describeDevices();
    });
}

void PortDialog::setDevicesOpener(std::function<void(QWidget* parent)> open) {
    m_openDevices = std::move(open);
    m_devicesButton->setEnabled(bool(m_openDevices));
}

// Port numbers are not device names off Windows: say which device each is.
void PortDialog::describeDevices() {
    for (int port = 1; port <= kPortOptions; ++port) {
        if (auto* option = m_controls.widget<QRadioButton>(portOptionName(port)))
            option->setToolTip(m_resolveDevice(port));
    }
    if (auto* other = m_controls.widget<QLineEdit>(QStringLiteral("Text1")))
        other->setToolTip(QStringLiteral("Another port, 1 to 15"));
}

void PortDialog::showBaudOption(int baudCode) {
    const QString name = baudCode == 96 ? QStringLiteral("Option1") : QStringLiteral("Option2");
    if (auto* option = m_controls.widget<QRadioButton>(name))
        option->setChecked(true);
}

void PortDialog::showPortOption(int port) {
    for (int n = 1; n <= kPortOptions; ++n) {
        auto* option = m_controls.widget<QRadioButton>(portOptionName(n));
        if (!option)
            continue;
        // An exclusive group cannot be emptied while it is exclusive.
        option->setAutoExclusive(false);
        option->setChecked(n == port);
        option->setAutoExclusive(true);
    }
}

void PortDialog::setOtherText(const QString& text) {
    if (auto* other = m_controls.widget<QLineEdit>(QStringLiteral("Text1")))
        other->setText(text);
}

void PortDialog::selectOtherText(int start, int length) {
    if (auto* other = m_controls.widget<QLineEdit>(QStringLiteral("Text1"))) {
        other->setSelection(start, length);
        other->setFocus();
    }
}

void PortDialog::presentRetryWarning(QWidget* parent, const QString& detail) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Error"), QStringLiteral("Retry Comport"),
                    QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    if (!detail.isEmpty()) {
        box.setInformativeText(detail);
        // Device names and system texts are shown as they are, never as markup.
        if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
            label->setTextFormat(Qt::PlainText);
    }
    box.exec();
}

void PortDialog::showRetryWarning(const QString& detail) {
    m_retryDetail = detail;
    if (m_present)
        m_present(this);
}

void PortDialog::showSaveWarning(const QString& file, const QString& reason) {
    if (m_presentSaveWarning)
        m_presentSaveWarning(this, file, reason);
}

void PortDialog::closeAndShowMain() {
    m_closing = true;
    done(QDialog::Accepted);
    if (m_showMain)
        m_showMain();
}

void PortDialog::reject() {
    if (m_closing)
        return;
    m_model.closeBox();
}

} // namespace tavo
