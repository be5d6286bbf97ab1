#pragma once

#include "Outcome.h"
#include "Plan.h"

#include <QList>
#include <QString>

namespace tavo::ctl {

// "lobby | /dev/ttyUSB0 | 001 | sent A 0 0 1 C R 0  [CR] | reply 0 0  [CR] | Power ON"
QString humanLine(const ProjectorEntry& projector, const Outcome& outcome);

// One JSON object on one line. Text is plain ASCII: every byte or character
// outside printable ASCII is a \u escape, and a reply byte b is \u00bb, so a
// reader gets each byte back as the character of the same code (Latin-1).
QString jsonLine(const ProjectorEntry& projector, const Outcome& outcome);
QString jsonString(const QString& text);

struct Tally {
    int ok = 0;
    int noReply = 0;
    int failed = 0;
};
Tally tally(const QList<Outcome>& outcomes);
// "N ok, M no reply, K failed"
QString summaryLine(const Tally& tally);
// 3 when a port failed, else 1 when a projector gave no reply, else 0.
int exitStatus(const Tally& tally);

} // namespace tavo::ctl
