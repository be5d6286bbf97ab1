#pragma once

#include <QByteArray>
#include <QString>

namespace tavo {

// Which legend labels a rendering met.
struct LegendsMet {
    bool ack = false;   // Label19
    bool space = false; // Label27
    bool cr = false;    // Label28
};

// The one-line transcript: a leading space, then one piece per byte. Printable
// ASCII from "!" to "z" shows as itself and a space; space, ACK, CR and LF get
// their markers; everything else (other controls, "{" and above) shows as "? ".
QString renderTranscript(const QByteArray& bytes, LegendsMet* met = nullptr);

} // namespace tavo
