#include "PanelController.h"

#include "PanelCommands.h"

#include "ProjectorLink.h"
#include "SerialPort.h"
#include "Timer.h"

namespace tavo {

PanelController::PanelController(ProjectorLink& link, Timer& timer1, PanelView& view)
    : m_link(link), m_timer1(timer1), m_view(view) {}

void PanelController::sendCurrentCommand() {
    m_link.send(m_link.globals().CurrentCommand);
}

void PanelController::oneShotClick(const QByteArray& command) {
    m_link.globals().CurrentCommand = command + '\r';
    sendCurrentCommand();
}

void PanelController::arrowMouseDown(quint8 code) {
    Form1State& s = m_link.m_state;
    if (s.HoldActive != 0)
        return;
    s.HoldActive = 1;
    s.RepeatCode = code;
    m_link.globals().CurrentCommand = repeatCommandText(code) + '\r';
    Cont_M_down();
}

void PanelController::arrowMouseUp() {
    Cont_M_up();
}

void PanelController::Cont_M_down() {
    m_timer1.setInterval(kRepeatInterval);
    m_link.setTimingMode(TimingMode::DuringHold);
    // The countdown starts as the command goes out, not after the screen has shown it (the
    // first send also shows the legends, which can take a millisecond): the second send comes
    // 100 ms after the first.
    m_timer1.setEnabled(true);
    sendCurrentCommand();
}

void PanelController::Timer1_Timer() {
    const quint8 code = m_link.m_state.RepeatCode;
    if (code == 0)
        return;
    // Rebuilt at every tick: the send step put the address into the last one.
    m_link.globals().CurrentCommand = repeatCommandText(code) + '\r';
    sendCurrentCommand();
    m_timer1.setEnabled(true);
}

void PanelController::Cont_M_up() {
    Form1State& s = m_link.m_state;
    s.RepeatCode = 0;
    m_timer1.setEnabled(false);
    m_link.timer2().setEnabled(false);
    m_link.timer4().setEnabled(true);
    m_link.setLine(Line::Label11, QString());
    m_link.setLine(Line::Label12, QString());
    m_link.setTimingMode(TimingMode::AfterHold);
    s.ReceiveBuffer.clear();
    s.HoldActive = 0;
}

void PanelController::optionClick(int option) {
    m_link.selectAddress(option);
}

void PanelController::Form_KeyDown(int keyCode, int shift) {
    constexpr int kCtrl = 2;
    constexpr int kKeyH = 72;
    if ((shift & 7) != kCtrl || keyCode != kKeyH)
        return;
    LinkView& view = m_link.view();
    view.setWindowHeightTwips(view.windowHeightTwips() >= 7000 ? ProjectorLink::kCompactHeight
                                                               : kFullHeight);
}

void PanelController::Command33_Click() {
    m_link.clearPortNotice();
    SerialPort& port = m_link.port();
    if (port.portOpen())
        port.setPortOpen(false);
    Globals& g = m_link.globals();
    g.SavedBaudCode = g.BaudCode;
    g.SavedPortNumber = g.PortNumber;
    m_view.showPortDialogModeless();
}

void PanelController::Command74_Click() {
    m_view.setStatusFrameVisible(false);
    m_link.setTimingMode(TimingMode::ConsoleOpen);
    m_view.showConsole();
}

void PanelController::Command16_Click() {
    m_view.endProgram();
}

void PanelController::consoleClosed() {
    m_view.setStatusFrameVisible(true);
    m_link.setTimingMode(TimingMode::AfterLoad);
}

} // namespace tavo
