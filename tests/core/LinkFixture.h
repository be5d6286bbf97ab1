#pragma once

#include "FakeLinkView.h"
#include "FakeSerialPort.h"
#include "MemorySettingsStore.h"
#include "VirtualClock.h"

#include "ProjectorLink.h"

namespace tavo::test {

// A main-window link wired to fakes, with the timers' design-time intervals.
struct LinkFixture {
    VirtualClock clock;
    FakeTimer timer2{clock, 10000};
    FakeTimer timer4{clock, 10500};
    FakeSerialPort port;
    MemorySettingsStore store;
    FakeLinkView view;
    Globals globals;
    ProjectorLink link{port, timer2, timer4, store, view, globals};

    LinkFixture() {
        port.setOnComm([this] { link.MSComm1_OnComm(); });
        timer2.setOnTimer([this] { link.Timer2_Timer(); });
        timer4.setOnTimer([this] { link.Timer4_Timer(); });
    }

    // Stored port 1 at 9600 baud, no address, and a completed load.
    void loadLinked(const QString& address = QString()) {
        store.values = {{QStringLiteral("ComPort"), QStringLiteral("1")},
                        {QStringLiteral("BaudRate"), QStringLiteral("96")},
                        {QStringLiteral("ADRESS"), address}};
        link.Form_Load();
    }

    // What a panel button does: rebuild CurrentCommand, then send it.
    void panelSend(const QByteArray& command) {
        globals.CurrentCommand = command + '\r';
        link.send(globals.CurrentCommand);
    }

    QString line(Line l) const { return view.line(l); }
};

} // namespace tavo::test
