#include "DevicesDialog.h"

#include "IniLineEditor.h"
#include "NetworkAddress.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QVBoxLayout>

#include <optional>

namespace tavo {
namespace {
constexpr int kPorts = 15;

QLabel* plainLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}
} // namespace

DevicesDialog::DevicesDialog(QString settingsPath, DeviceResolver resolveDevice,
                             PortLister listPorts, QWidget* parent)
    : QDialog(parent), m_settingsPath(std::move(settingsPath)),
      m_resolveDevice(std::move(resolveDevice)), m_listPorts(std::move(listPorts)) {
    setObjectName(QStringLiteral("DevicesDialog"));
    setWindowTitle(QStringLiteral("Devices"));
    auto* layout = new QVBoxLayout(this);

    m_ports = new QTableWidget(kPorts, 2, this);
    m_ports->setObjectName(QStringLiteral("ports"));
    m_ports->setHorizontalHeaderLabels({QStringLiteral("Opens"), QStringLiteral("Set by")});
    m_ports->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_ports->setSelectionMode(QAbstractItemView::SingleSelection);
    m_ports->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_ports->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_ports->setMinimumSize(460, 300);
    layout->addWidget(m_ports);

    auto* presentBox =
        new QGroupBox(QStringLiteral("Serial ports and gateway shares on this computer"), this);
    auto* presentLayout = new QVBoxLayout(presentBox);
    m_present = new QListWidget(presentBox);
    m_present->setObjectName(QStringLiteral("present"));
    m_present->setToolTip(QStringLiteral("Click a port to put its name in the Device field"));
    presentLayout->addWidget(m_present);
    layout->addWidget(presentBox);

    auto* form = new QFormLayout;
    m_device = new QLineEdit(this);
    m_device->setObjectName(QStringLiteral("device"));
    m_device->setPlaceholderText(
        QStringLiteral("/dev/ttyS0, tcp://host:port or rfc2217://host:port"));
    m_device->setMaxLength(300);
    form->addRow(QStringLiteral("Device:"), m_device);
    layout->addLayout(form);
    layout->addWidget(plainLabel(
        QStringLiteral("A path opens a serial device here. On the network, tcp://host:port "
                       "passes bytes unchanged to a serial device server; rfc2217://host:port "
                       "also sets its baud rate. Without an entry, COMn is /dev/ttyUSB(n-1)."),
        this));
    m_status = plainLabel(QString(), this);
    m_status->setObjectName(QStringLiteral("status"));
    layout->addWidget(m_status);

    auto* buttons = new QDialogButtonBox(this);
    auto* assignButton = buttons->addButton(QStringLiteral("Assign"), QDialogButtonBox::ActionRole);
    assignButton->setObjectName(QStringLiteral("assign"));
    assignButton->setToolTip(QStringLiteral("Give the selected COM number the device above"));
    auto* defaultButton =
        buttons->addButton(QStringLiteral("Default"), QDialogButtonBox::ActionRole);
    defaultButton->setObjectName(QStringLiteral("default"));
    defaultButton->setToolTip(QStringLiteral("Remove the selected COM number's entry"));
    auto* rescan = buttons->addButton(QStringLiteral("Rescan"), QDialogButtonBox::ActionRole);
    rescan->setToolTip(QStringLiteral("Look again for plugged-in adapters"));
    buttons->addButton(QDialogButtonBox::Close);
    layout->addWidget(buttons);

    connect(assignButton, &QPushButton::clicked, this, [this] { assign(); });
    connect(defaultButton, &QPushButton::clicked, this, [this] { useDefault(); });
    connect(rescan, &QPushButton::clicked, this, [this] { refreshPresent(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_present, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        m_device->setText(item->data(Qt::UserRole).toString());
    });
    connect(m_ports, &QTableWidget::itemSelectionChanged, this, [this] {
        if (!mayReadIniFile(m_settingsPath))
            return;
        const QSettings ini(m_settingsPath, QSettings::IniFormat);
        m_device->setText(ini.value(QStringLiteral("Ports/COM%1").arg(selectedPort())).toString());
    });

    refreshPorts();
    refreshPresent();
    selectPort(1);
}

void DevicesDialog::refreshPorts() {
    std::optional<QSettings> ini; // none when the file must not be read (a FIFO, too large)
    if (mayReadIniFile(m_settingsPath))
        ini.emplace(m_settingsPath, QSettings::IniFormat);
    for (int port = 1; port <= kPorts; ++port) {
        const bool mapped = ini && ini->contains(QStringLiteral("Ports/COM%1").arg(port));
        auto* header = new QTableWidgetItem(QStringLiteral("COM%1").arg(port));
        m_ports->setVerticalHeaderItem(port - 1, header);
        m_ports->setItem(port - 1, 0, new QTableWidgetItem(m_resolveDevice(port)));
        m_ports->setItem(
            port - 1, 1,
            new QTableWidgetItem(mapped ? QStringLiteral("[Ports]") : QStringLiteral("default")));
    }
}

void DevicesDialog::refreshPresent() {
    m_present->clear();
    const QList<PresentSerialPort> ports = m_listPorts();
    for (const PresentSerialPort& port : ports) {
        QString text = port.device;
        if (port.device != port.systemLocation)
            text += QStringLiteral("  (%1)").arg(port.systemLocation);
        if (!port.description.isEmpty())
            text += QStringLiteral("  %1").arg(port.description);
        if (!port.serialNumber.isEmpty())
            text += QStringLiteral(", serial %1").arg(port.serialNumber);
        auto* item = new QListWidgetItem(text, m_present);
        item->setData(Qt::UserRole, port.device);
    }
    if (ports.isEmpty())
        new QListWidgetItem(
            QStringLiteral("No serial ports found (pseudo-terminals are not listed)"), m_present);
}

void DevicesDialog::selectPort(int port) {
    m_ports->selectRow(qBound(1, port, kPorts) - 1);
}

int DevicesDialog::selectedPort() const {
    const int row = m_ports->currentRow();
    return row < 0 ? 1 : row + 1;
}

QString DevicesDialog::statusText() const {
    return m_status->text();
}

void DevicesDialog::say(const QString& text) {
    m_status->setText(text);
}

bool DevicesDialog::assign() {
    const int port = selectedPort();
    const QString device = m_device->text().trimmed();
    if (device.isEmpty()) {
        say(QStringLiteral("Type a device or pick one from the list; \"Default\" removes COM%1's "
                           "entry.")
                .arg(port));
        return false;
    }
    if (isNetworkDevice(device)) {
        NetworkAddress address;
        QString why;
        if (!parseNetworkAddress(device, &address, &why)) {
            say(QStringLiteral("Not assigned: %1.").arg(why));
            return false;
        }
    }
    const IniEditResult result = writeIniKey(m_settingsPath, QStringLiteral("Ports"),
                                             QStringLiteral("COM%1").arg(port), device);
    if (!result.ok) {
        say(QStringLiteral("Not assigned: %1").arg(result.error));
        return false;
    }
    refreshPorts();
    selectPort(port);
    say(QStringLiteral("COM%1 now opens %2.").arg(port).arg(device));
    return true;
}

bool DevicesDialog::useDefault() {
    const int port = selectedPort();
    const IniEditResult result =
        removeIniKey(m_settingsPath, QStringLiteral("Ports"), QStringLiteral("COM%1").arg(port));
    if (!result.ok) {
        say(QStringLiteral("Not changed: %1").arg(result.error));
        return false;
    }
    refreshPorts();
    selectPort(port);
    say(QStringLiteral("COM%1 now opens %2.").arg(port).arg(m_resolveDevice(port)));
    return true;
}

} // namespace tavo
