#pragma once

#include "LinkView.h"
#include "SettingsStore.h"
#include "Timer.h"

namespace tavo::ctl {

// The main window as the link sees it, with nothing on screen: the link keeps
// its own copy of each line's text, which is all a command-line run reads.
class HeadlessView : public LinkView {
public:
    void setLineText(Line, const QString&) override {}
    void setLegendVisible(Legend, bool) override {}
    void setWindowHeightTwips(int) override {}
    int windowHeightTwips() const override { return 0; }
    QSize windowSizeTwips() const override { return {}; }
    QSize screenSizeTwips() const override { return {}; }
    void moveWindowTwips(int, int) override {}
    void showAddressOption(int) override {}
    void showPortDialogModal() override {}
    void showSaveWarning(const QString&, const QString&) override {}
};

// The display-clearing timer never needs to tick: the run reads the lines as
// soon as a reply is complete and clears them itself before the next command.
class IdleTimer : public Timer {
public:
    void setInterval(int ms) override { m_interval = ms; }
    int interval() const override { return m_interval; }
    void setEnabled(bool enabled) override { m_enabled = enabled; }
    bool isEnabled() const override { return m_enabled; }

private:
    int m_interval = 0;
    bool m_enabled = false;
};

// A run never writes the console's settings: every read gives the fallback.
class NoSettings : public SettingsStore {
public:
    QString read(const QString&, const QString& fallback) const override { return fallback; }
    SaveResult save(const QString&, const QString&) override { return {}; }
};

} // namespace tavo::ctl
