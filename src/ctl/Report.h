#pragma once

#include "Outcome.h"
#include "Plan.h"

#include <QList>
#include <QString>

namespace tavo::ctl {

// "lobby | /dev/ttyUSB0 | 001 | sent A 0 0 1 C R 0  [CR] | reply 0 0  [CR] | Power ON"
QString humanLine(const ProjectorEntry& projector, const Outcome& outcome);

// One JSON object on one line (keys in alphabetical order); a reply byte b is the character
// U+00bb, so a reader gets each byte back as the character of the same code (Latin-1).
QString jsonLine(const ProjectorEntry& projector, const Outcome& outcome);

struct Tally {
    int ok = 0;
    int noReply = 0;
    int failed = 0;   // the port did not open, or the command was refused
    int lost = 0;     // the link went away while the command was out
    int notTried = 0; // the run ended first
};
Tally tally(const QList<Outcome>& outcomes);
// "N ok, M no reply, K failed", then ", L link lost" and ", T not tried" where there are any.
QString summaryLine(const Tally& tally);
// 3 when a port failed, else 4 when a link was lost (or a projector not tried for it), else 1
// when a projector gave no reply, else 0.
int exitStatus(const Tally& tally);

} // namespace tavo::ctl
