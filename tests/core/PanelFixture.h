#pragma once

#include "LinkFixture.h"

#include "PanelController.h"

namespace tavo::test {

class FakePanelView : public PanelView {
public:
    void setStatusFrameVisible(bool visible) override { statusFrameVisible = visible; }
    void showPortDialogModeless() override { ++portDialogs; }
    void showConsole() override { ++consoles; }
    void endProgram() override { ++ends; }

    bool statusFrameVisible = true;
    int portDialogs = 0;
    int consoles = 0;
    int ends = 0;
};

// The main window's behaviour on fakes: link, panel and the repeat timer.
struct PanelFixture : LinkFixture {
    FakeTimer timer1{clock, 200};
    FakePanelView panelView;
    PanelController panel{link, timer1, panelView};

    PanelFixture() {
        timer1.setOnTimer([this] { panel.Timer1_Timer(); });
    }
};

} // namespace tavo::test
