#pragma once

#include "AnyDevicePort.h"
#include "Form1Window.h"
#include "Globals.h"
#include "IniSettingsStore.h"
#include "QtTimer.h"
#include "TrafficRecording.h"

#include <QPointer>

#include <memory>

namespace tavo {

class Form3Window;
class PortDialog;
class ShutdownSignals;

// The run of the program: the shared state, the store, the serial component
// and the timers, and the three windows bound to the event loop.
class Application {
public:
    Application();
    ~Application();

    // The load step, then the main window; returns when the program ends.
    int run();
    // The load step and the main window, without running the event loop.
    void start();
    // For the program's own process: SIGTERM, SIGHUP and SIGINT end it as the
    // close box does, and a lost display still closes the port.
    void endOnSignalsAndDisplayLoss();

    Form1Window& form1() { return m_form1; }
    TrafficRecording& traffic() { return m_traffic; }

private:
    void openPortDialog(bool modal);
    void openConsole();
    void showMain();
    QString deviceFor(int port) const;
    void endBySignal();
    static void closeAtExit();

    Globals m_globals;
    IniSettingsStore m_store;                 // the INI file: [Ports], [Log]
    std::unique_ptr<SettingsStore> m_startup; // "ComPort", "BaudRate", "ADRESS"
    AnyDevicePort m_port;
    TrafficRecording m_traffic;
    QtTimer m_timer1{200};
    QtTimer m_timer2{10000};
    QtTimer m_timer4{10500};
    Form1Window m_form1;
    QPointer<PortDialog> m_portDialog;
    QPointer<Form3Window> m_console;
    std::unique_ptr<ShutdownSignals> m_signals;
    bool m_ending = false;
};

} // namespace tavo
