#pragma once

#include "GatewayShare.h"
#include "PseudoTerminal.h"
#include "Ser2netServer.h"

#include "AnyDevicePort.h"
#include "Form1Window.h"
#include "Globals.h"
#include "IniSettingsStore.h"
#include "LoadedNetworkPorts.h"
#include "QtTimer.h"
#include "TrafficRecording.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include <memory>

// The program's own main window, serial adapter and timers, wired as the application wires them,
// with port 1 on a pseudo-terminal whose other end the benchmark holds. Settings live in a
// throw-away directory, so the operator's own are never touched. Port 1 is the pseudo-terminal
// itself or, through a ser2net daemon on loopback, a raw TCP or an RFC 2217 network port, or a
// real gateway's share of the pseudo-terminal.
class BenchConsole {
public:
    enum class Route { Direct, RawTcp, Rfc2217, Share };

    // `recorded`: wired as the program wires it, with the traffic record and its log file
    // (in the throw-away directory); otherwise the bare window.
    explicit BenchConsole(bool recorded = false) : BenchConsole(Route::Direct, false, recorded) {}
    // `serverCharDelay`: ser2net's default holding of device data (see Ser2netServer).
    // `gateway`: the mx7300-gateway program, for Route::Share.
    BenchConsole(Route route, bool serverCharDelay, bool recorded = false, QString gateway = {});

    // The load step and the first show, at full height so the status lines are on screen.
    // False when the port did not open.
    bool start();

    QPushButton* button(const char* name) const;
    bool portOpen() const { return m_port.portOpen(); }
    // Through ser2net: the daemon vanishes (SIGKILL), as a device server that loses power.
    void killServer() { m_server.kill(); }
    QLabel* label(const char* name) const;

    // Between measurements: no time-out or clearing tick may land inside the next one.
    void stopDisplayTimers();
    // Runs the event loop for `ms`, so repaints and queued events are not charged to the next
    // measurement.
    static void settle(int ms);

    PseudoTerminal pty;
    tavo::Form1Window& window() { return m_form1; }
    tavo::TrafficRecording* traffic() { return m_traffic.get(); }
    QString logFolder() const { return m_configDir.filePath(QStringLiteral("state/TAVO/log")); }

private:
    Route m_route;
    Ser2netServer m_server;
    GatewayShare m_share;
    QTemporaryDir m_configDir;
    tavo::Globals m_globals;
    tavo::IniSettingsStore m_store;
    tavo::AnyDevicePort m_port;
    std::unique_ptr<tavo::TrafficRecording> m_traffic;
    tavo::QtTimer m_timer1{200};
    tavo::QtTimer m_timer2{10000};
    tavo::QtTimer m_timer4{10500};
    tavo::Form1Window m_form1;
};
