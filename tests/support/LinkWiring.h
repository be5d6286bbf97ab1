#pragma once

#include "MemorySettingsStore.h"

#include "Globals.h"
#include "ProjectorLink.h"
#include "SerialPort.h"
#include "Timer.h"

namespace tavo::test {

// What the main window does for its link: the port's and the timers' events
// go to the link's handlers.
inline void routeLinkEvents(ProjectorLink& link, SerialPort& port, Timer& timer2, Timer& timer4) {
    port.setOnComm([&link] { link.MSComm1_OnComm(); });
    timer2.setOnTimer([&link] { link.Timer2_Timer(); });
    timer4.setOnTimer([&link] { link.Timer4_Timer(); });
}

// Stored port 1 at 9600 baud and `address`, then the load step.
inline void loadLinked(ProjectorLink& link, MemorySettingsStore& store, const QString& address) {
    store.values = {{QStringLiteral("ComPort"), QStringLiteral("1")},
                    {QStringLiteral("BaudRate"), QStringLiteral("96")},
                    {QStringLiteral("ADRESS"), address}};
    link.Form_Load();
}

} // namespace tavo::test
