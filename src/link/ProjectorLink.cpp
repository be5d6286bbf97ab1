#include "ProjectorLink.h"

#include "Address.h"
#include "CommandText.h"
#include "ReplyDecoder.h"
#include "SerialPort.h"
#include "StoredNumber.h"
#include "Timer.h"
#include "TrafficObserver.h"
#include "Transcript.h"

#include "SettingsStore.h"

#include <limits>

namespace tavo {

ProjectorLink::ProjectorLink(SerialPort& port, Timer& timer2, Timer& timer4, SettingsStore& store,
                             LinkView& view, Globals& globals)
    : m_port(port), m_timer2(timer2), m_timer4(timer4), m_store(store), m_view(view),
      m_globals(globals) {}

QString ProjectorLink::notSentNotice() {
    return QStringLiteral(" Not sent: the port is closed");
}

QString ProjectorLink::linkLostNotice() {
    return QStringLiteral(" Link lost: the port was closed (press COM)");
}

QString ProjectorLink::lineText(Line line) const {
    return m_lines[static_cast<int>(line)];
}

void ProjectorLink::setLine(Line line, QString text) {
    // A lost link stays visible: nothing blanks the reply line over it.
    if (line == Line::Label12 && text.isEmpty())
        text = m_portNotice;
    m_lines[static_cast<int>(line)] = text;
    m_view.setLineText(line, text);
}

void ProjectorLink::clearPortNotice() {
    if (m_portNotice.isEmpty())
        return;
    m_portNotice.clear();
    setLine(Line::Label12, QString());
}

void ProjectorLink::showLegends(bool ack, bool space, bool cr) {
    if (ack)
        m_view.setLegendVisible(Legend::Label19, true);
    if (space)
        m_view.setLegendVisible(Legend::Label27, true);
    if (cr)
        m_view.setLegendVisible(Legend::Label28, true);
}

void ProjectorLink::Form_Load() {
    m_view.setWindowHeightTwips(kCompactHeight);

    const double port = leadingNumber(m_store.read(keys::ComPort, QStringLiteral("DATAC")));
    m_globals.PortNumber = static_cast<qint16>(roundedInRange(
        port, std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max(), 0));
    if (!isUsablePort(m_globals.PortNumber)) {
        showStartUpPortDialog();
        return;
    }

    // A stored code outside a byte selects 19200 baud like any other non-96 value.
    const double baud = leadingNumber(m_store.read(keys::BaudRate, QStringLiteral("DATAb")));
    m_globals.BaudCode = static_cast<quint8>(roundedInRange(baud, 0, 255, 0));

    m_state.AddressPrefix = m_store.read(keys::Address, QStringLiteral("DATAD")).toLatin1();
    selectAddress(optionForStoredAddress(m_state.AddressPrefix));

    m_port.setSettings(settingsForBaudCode(m_globals.BaudCode));
    if (m_globals.BaudCode != 96)
        m_globals.BaudCode = 192;

    if (!m_port.setCommPort(m_globals.PortNumber) || !m_port.setPortOpen(true)) {
        showStartUpPortDialog();
        return;
    }

    setTimingMode(TimingMode::AfterLoad);
    centreWindow();
    m_state.RepeatCode = 0;
    m_state.AwaitingReply = 0;
    m_state.ReceiveBuffer.clear();
}

// When the dialog's OK opened the port the link runs as after a normal load;
// otherwise the timers keep their design-time intervals.
void ProjectorLink::showStartUpPortDialog() {
    m_view.showPortDialogModal();
    if (m_port.portOpen())
        setTimingMode(TimingMode::AfterLoad);
}

void ProjectorLink::setTimingMode(TimingMode mode) {
    struct Intervals {
        int timer2;
        int timer4;
    };
    Intervals ms{};
    switch (mode) {
    case TimingMode::AfterLoad:
        ms = {1000, 1200};
        break;
    case TimingMode::DuringHold:
        ms = {150, 200};
        break;
    case TimingMode::AfterHold:
        ms = {500, 1000};
        break;
    case TimingMode::ConsoleOpen:
        ms = {7000, 7500};
        break;
    }
    m_timer2.setInterval(ms.timer2);
    m_timer4.setInterval(ms.timer4);
}

void ProjectorLink::centreWindow() {
    const QSize screen = m_view.screenSizeTwips();
    const QSize window = m_view.windowSizeTwips();
    const float left = static_cast<float>(screen.width() - window.width()) / 2.0f;
    const float top = static_cast<float>(screen.height() - window.height()) / 2.0f - 1350.0f;
    m_view.moveWindowTwips(static_cast<int>(left), static_cast<int>(top));
}

void ProjectorLink::Form_QueryUnload() {
    const SaveResult saved =
        m_store.save(keys::Address, QString::fromLatin1(m_state.AddressPrefix));
    if (m_port.portOpen())
        m_port.setPortOpen(false);
    // After the close, so the port is free while the operator reads it.
    if (!saved.ok)
        m_view.showSaveWarning(saved.file, saved.reason);
}

void ProjectorLink::selectAddress(int option) {
    m_state.AddressPrefix = addressForOption(option);
    m_view.showAddressOption(option);
}

bool ProjectorLink::portOpen() const {
    return m_port.portOpen();
}

void ProjectorLink::sendAfresh(const QByteArray& text) {
    m_timer2.setEnabled(false);
    m_timer4.setEnabled(false);
    send(text);
}

void ProjectorLink::send(const QByteArray& text) {
    QByteArray framed = text;
    const quint8 mode = 1;
    Hyouji(framed, mode);
}

void ProjectorLink::sendPanelCommand(const QByteArray& command) {
    m_globals.CurrentCommand = command + '\r';
    const quint8 mode = 1;
    Hyouji(m_globals.CurrentCommand, mode);
}

bool ProjectorLink::beginHold(quint8 code) {
    if (m_state.HoldActive != 0)
        return false;
    m_state.HoldActive = 1;
    m_state.RepeatCode = code;
    return true;
}

void ProjectorLink::endHold() {
    m_state.RepeatCode = 0;
    m_timer2.setEnabled(false);
    m_timer4.setEnabled(true);
    setLine(Line::Label11, QString());
    setLine(Line::Label12, QString());
    setTimingMode(TimingMode::AfterHold);
    m_state.ReceiveBuffer.clear();
    m_state.HoldActive = 0;
}

void ProjectorLink::toggleWindowHeight(int fullHeight) {
    m_view.setWindowHeightTwips(m_view.windowHeightTwips() >= 7000 ? kCompactHeight : fullHeight);
}

void ProjectorLink::releasePortForDialog() {
    clearPortNotice();
    if (m_port.portOpen())
        m_port.setPortOpen(false);
    m_globals.SavedBaudCode = m_globals.BaudCode;
    m_globals.SavedPortNumber = m_globals.PortNumber;
}

void ProjectorLink::Hyouji(QByteArray& text, const quint8& mode) {
    if (mode == 1)
        sendFramed(text);
    else
        showReceived(text);
}

void ProjectorLink::sendFramed(QByteArray& text) {
    text.prepend(m_state.AddressPrefix);
    const bool delivered = m_port.output(text);
    if (delivered)
        m_portNotice.clear();
    else if (!m_portNotice.isEmpty())
        m_portNotice = notSentNotice();
    setLine(Line::Label12, QString());
    m_state.ReceiveBuffer.clear();
    LegendsMet met;
    setLine(Line::Label11, renderTranscript(text, &met));
    showLegends(met.ack, met.space, met.cr);
    m_timer2.setEnabled(true);
    m_state.AwaitingReply = 1;
    m_timer4.setEnabled(true);
    if (!delivered) {
        // Say so in the reply line instead of waiting for a time-out mark that
        // would suggest the projector was silent.
        setLine(Line::Label12, notSentNotice());
        m_state.AwaitingReply = 0;
    }
}

void ProjectorLink::showReceived(const QByteArray& received) {
    LegendsMet met;
    const QString transcript = renderTranscript(received, &met);
    setLine(Line::Label12, transcript);
    showLegends(met.ack, met.space, met.cr);
    if (auto status =
            decodeReply(m_globals.CurrentCommand, received, lineText(Line::Label25)).caption) {
        setLine(Line::Label25, *status);
        if (m_observer)
            m_observer->replyDecoded(*status);
    }
}

void ProjectorLink::MSComm1_OnComm() {
    const int event = m_port.commEvent();
    if (event == SerialPort::EvLinkLost) {
        m_portNotice = linkLostNotice();
        setLine(Line::Label12, m_portNotice);
        m_state.AwaitingReply = 0;
        return;
    }
    if (event != SerialPort::EvReceive)
        return;
    const QByteArray arrived = m_port.input();
    const int taken = appendWithin(m_state.ReceiveBuffer, arrived, kReceiveBufferLimit);
    m_state.AwaitingReply = 0;
    if (taken <= 0)
        return; // nothing new to show or decode
    const quint8 mode = 2;
    Hyouji(m_state.ReceiveBuffer, mode);
}

void ProjectorLink::Timer2_Timer() {
    if (m_observer)
        m_observer->replyTimeOut(m_state.AwaitingReply == 1);
    if (m_state.AwaitingReply == 1)
        setLine(Line::Label12, QStringLiteral(" X X X X "));
    m_timer2.setEnabled(false);
    m_view.setLegendVisible(Legend::Label27, false);
    m_view.setLegendVisible(Legend::Label28, false);
    m_view.setLegendVisible(Legend::Label19, false);
    m_state.ReceiveBuffer.clear();
    m_state.AwaitingReply = 0;
}

void ProjectorLink::Timer4_Timer() {
    setLine(Line::Label11, QString());
    setLine(Line::Label12, QString());
    setLine(Line::Label25, QString());
    m_timer4.setEnabled(false);
}

} // namespace tavo
