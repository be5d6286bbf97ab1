#include "PanelController.h"

#include "PanelCommands.h"

#include "ProjectorLink.h"
#include "Timer.h"

namespace tavo {

PanelController::PanelController(ProjectorLink& link, Timer& timer1, PanelView& view)
    : m_link(link), m_timer1(timer1), m_view(view) {}

void PanelController::oneShotClick(const QByteArray& command) {
    m_link.sendPanelCommand(command);
}

void PanelController::arrowMouseDown(quint8 code) {
    if (!m_link.beginHold(code))
        return;
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
    m_link.sendPanelCommand(repeatCommandText(m_link.repeatCode()));
}

void PanelController::Timer1_Timer() {
    const quint8 code = m_link.repeatCode();
    if (code == 0)
        return;
    // Rebuilt at every tick: the send step put the address into the last one.
    m_link.sendPanelCommand(repeatCommandText(code));
    m_timer1.setEnabled(true);
}

void PanelController::Cont_M_up() {
    m_timer1.setEnabled(false);
    m_link.endHold();
}

void PanelController::optionClick(int option) {
    m_link.selectAddress(option);
}

void PanelController::Form_KeyDown(int keyCode, int shift) {
    constexpr int kCtrl = 2;
    constexpr int kKeyH = 72;
    if ((shift & 7) != kCtrl || keyCode != kKeyH)
        return;
    m_link.toggleWindowHeight(kFullHeight);
}

void PanelController::Command33_Click() {
    m_link.releasePortForDialog();
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
