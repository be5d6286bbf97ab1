#pragma once

#include <QByteArray>

namespace tavo {

class ProjectorLink;
class Timer;

// What the panel's behaviour needs of the main window beyond the link's view.
class PanelView {
public:
    virtual ~PanelView() = default;
    virtual void setStatusFrameVisible(bool visible) = 0; // Frame15
    virtual void showPortDialogModeless() = 0;            // or bring it forward
    virtual void showConsole() = 0;                       // or bring it forward
    // Closes the main window (its closing step runs) and ends the program.
    virtual void endProgram() = 0;
};

// The main window's buttons, press-and-hold repeat, address options and keys.
class PanelController {
public:
    static constexpr int kFullHeight = 8100;
    static constexpr int kRepeatInterval = 100;

    PanelController(ProjectorLink& link, Timer& timer1, PanelView& view);

    // A one-shot button: the command text without its CR.
    void oneShotClick(const QByteArray& command);

    // MouseDown and MouseUp of an arrow button with RepeatCode `code`.
    void arrowMouseDown(quint8 code);
    void arrowMouseUp();
    void Cont_M_down();
    void Cont_M_up();
    void Timer1_Timer();

    // Click on Option1..Option6.
    void optionClick(int option);

    // Key preview: virtual key code and the Shift(1)/Ctrl(2)/Alt(4) state.
    void Form_KeyDown(int keyCode, int shift);

    void Command33_Click(); // "COM"
    void Command74_Click(); // "Command Table"
    void Command16_Click(); // "END"

    // The console's CLOSE: status frame back, start-up intervals back.
    void consoleClosed();

private:
    ProjectorLink& m_link;
    Timer& m_timer1;
    PanelView& m_view;
};

} // namespace tavo
