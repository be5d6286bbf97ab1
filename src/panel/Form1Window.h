#pragma once

#include "PanelController.h"

#include "FormBuilder.h"
#include "LinkView.h"
#include "ProjectorLink.h"
#include "SaveWarning.h"

#include <QWidget>

#include <functional>

namespace tavo {

class SerialPort;
class SettingsStore;
class Timer;
struct Globals;

// What the main window is given: the serial component, its three timers, the
// settings store and the shared state. It owns the link and panel behaviour.
struct Form1Parts {
    SerialPort& port;
    Timer& timer1; // press-and-hold repeat
    Timer& timer2; // reply time-out
    Timer& timer4; // display clearing
    SettingsStore& store;
    Globals& globals;
};

// Form1, the control panel: a thin window over ProjectorLink and PanelController.
class Form1Window : public QWidget, public LinkView, public PanelView {
    Q_OBJECT

public:
    explicit Form1Window(const Form1Parts& parts, QWidget* parent = nullptr);
    ~Form1Window() override;

    // The other windows are the application's business.
    void setPortDialogOpener(std::function<void(bool modal)> open) { m_openPortDialog = open; }
    void setConsoleOpener(std::function<void()> open) { m_openConsole = open; }
    void setQuit(std::function<void()> quit) { m_quit = quit; }
    // How a failed save of the address is told (a warning box by default).
    void setSaveWarningPresenter(SaveWarningPresenter present) { m_presentSaveWarning = present; }

    // The load step; runs before the window is first shown.
    void load();
    // The closing step (store the address, close the port), once; closing
    // the window runs it too.
    void unload();

    ProjectorLink& link() { return m_link; }
    PanelController& panel() { return m_panel; }
    const BuiltForm& controls() const { return m_controls; }
    double dpi() const { return m_dpi; }

    // LinkView
    void setLineText(Line line, const QString& text) override;
    void setLegendVisible(Legend legend, bool visible) override;
    void setWindowHeightTwips(int height) override;
    int windowHeightTwips() const override { return m_heightTwips; }
    QSize windowSizeTwips() const override;
    QSize screenSizeTwips() const override;
    void moveWindowTwips(int left, int top) override;
    void showAddressOption(int option) override;
    void showPortDialogModal() override;
    void showSaveWarning(const QString& file, const QString& reason) override;

    // PanelView
    void setStatusFrameVisible(bool visible) override;
    void showPortDialogModeless() override;
    void showConsole() override;
    void endProgram() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    class KeyPreview;
    void wireControls();
    void applyHeight();
    int decorationHeight() const;
    int toPixels(int twips) const;
    int toTwips(int pixels) const;

    ProjectorLink m_link;
    PanelController m_panel;
    BuiltForm m_controls;
    double m_dpi = 96.0;
    int m_heightTwips = ProjectorLink::kCompactHeight;
    bool m_unloaded = false;
    KeyPreview* m_keyPreview = nullptr;
    std::function<void(bool)> m_openPortDialog;
    std::function<void()> m_openConsole;
    std::function<void()> m_quit;
    SaveWarningPresenter m_presentSaveWarning = &presentSaveWarning;
};

} // namespace tavo
