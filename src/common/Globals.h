#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace tavo {

// State shared by all three windows. One instance lives for the whole run and
// is handed to each window's behaviour by reference.
struct Globals {
    // The last panel command, command text then CR; the send step writes the
    // address prefix into its front. The reply decoder compares against it.
    QByteArray CurrentCommand;
    qint16 PortNumber = 0; // usable 1..15
    quint8 BaudCode = 0;   // 96 = 9600 baud, anything else = 19200 (normalised to 192)
    // Taken by "COM", put back by the port dialog's Cancel.
    qint16 SavedPortNumber = 0;
    quint8 SavedBaudCode = 0;
};

} // namespace tavo
