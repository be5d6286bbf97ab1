#pragma once

#include "FakeLinkView.h"
#include "FakeSerialPort.h"
#include "LinkWiring.h"
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

    LinkFixture() { routeLinkEvents(link, port, timer2, timer4); }

    // Stored port 1 at 9600 baud, no address, and a completed load.
    void loadLinked(const QString& address = QString()) { test::loadLinked(link, store, address); }
    void panelSend(const QByteArray& command) { link.sendPanelCommand(command); }

    QString line(Line l) const { return view.line(l); }
};

} // namespace tavo::test
