#include "PortDialogModel.h"

#include "Globals.h"
#include "SerialPort.h"
#include "SettingsStore.h"

namespace tavo {

PortDialogModel::PortDialogModel(SerialPort& port, SettingsStore& store, Globals& globals,
                                 PortDialogView& view)
    : m_port(port), m_store(store), m_globals(globals), m_view(view) {}

void PortDialogModel::applyBaud(quint8 baudCode) {
    m_port.setSettings(settingsForBaudCode(baudCode));
    m_globals.BaudCode = baudCode == 96 ? 96 : 192;
    m_view.showBaudOption(m_globals.BaudCode);
}

void PortDialogModel::Form_Load() {
    const int port = m_globals.PortNumber;
    m_view.showPortOption(port >= 1 && port <= 5 ? port : 0);
    applyBaud(m_globals.BaudCode);
    m_view.selectOtherText(0, 1);
}

void PortDialogModel::Option1_Click() {
    m_globals.BaudCode = 96;
}

void PortDialogModel::Option2_Click() {
    m_globals.BaudCode = 192;
}

void PortDialogModel::portOptionClick(int port) {
    if (port >= 1 && port <= 5)
        m_globals.PortNumber = static_cast<qint16>(port);
}

void PortDialogModel::Text1_Change(const QString& text) {
    // Only plain digits count as a number; anything else leaves the port alone.
    const QString digits = text.trimmed();
    if (digits.isEmpty() || digits.size() > 3)
        return;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return;
    }
    const int value = digits.toInt();
    if (isUsablePort(value))
        m_globals.PortNumber = static_cast<qint16>(value);
    else if (value <= 255 && text != QLatin1String("0"))
        m_view.setOtherText(QStringLiteral("0"));
}

bool PortDialogModel::openPort() {
    m_openTried = false;
    if (!isUsablePort(m_globals.PortNumber))
        return false;
    if (!m_port.setCommPort(m_globals.PortNumber))
        return false;
    m_openTried = true;
    return m_port.setPortOpen(true);
}

QString PortDialogModel::failureDetail() const {
    if (m_openTried)
        return m_port.openError();
    return QStringLiteral("No port is chosen: pick COM1 to COM5, or type 1 to 15 under OTHER.");
}

void PortDialogModel::Command1_Click() {
    m_port.setSettings(settingsForBaudCode(m_globals.BaudCode));
    if (!openPort()) {
        m_view.showRetryWarning(failureDetail());
        return;
    }
    const SaveResult port = m_store.save(keys::ComPort, QString::number(m_globals.PortNumber));
    const SaveResult baud =
        m_store.save(keys::BaudRate, QString::number(m_globals.BaudCode == 96 ? 96 : 192));
    // The link works all the same; say once that it will not be remembered.
    const SaveResult& failed = port.ok ? baud : port;
    if (!failed.ok)
        m_view.showSaveWarning(failed.file, failed.reason);
    m_view.closeAndShowMain();
}

void PortDialogModel::Command2_Click() {
    m_openTried = false;
    m_globals.PortNumber = m_globals.SavedPortNumber;
    if (isUsablePort(m_globals.PortNumber)) {
        applyBaud(m_globals.SavedBaudCode);
        if (openPort()) {
            m_view.closeAndShowMain();
            return;
        }
    }
    m_view.showRetryWarning(failureDetail());
}

void PortDialogModel::closeBox() {
    const qint16 saved = m_globals.SavedPortNumber;
    if (isUsablePort(saved) && !m_port.portOpen()) {
        m_globals.PortNumber = saved;
        applyBaud(m_globals.SavedBaudCode);
        openPort(); // a failure leaves the port closed; sends then say so
    }
    m_view.closeAndShowMain();
}

} // namespace tavo
