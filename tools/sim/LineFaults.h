#pragma once

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>

namespace tavo::sim {

// Faults of the serial line between projector and console, switched on by hand.
struct LineFaults {
    bool silent = false;      // replies are dropped (commands still act)
    bool split = false;       // replies arrive in pieces with gaps between them
    int splitGapMs = 40;      // gap between pieces
    int slowMs = 0;           // delay before a reply starts
    bool garbageNext = false; // the next reply is replaced by random bytes, once
};

// A piece of output and how long after the previous piece it goes out.
struct Chunk {
    int delayMs = 0;
    QByteArray bytes;
};

// Applies the faults to one reply. Consumes a pending garbage fault only when something is sent.
QList<Chunk> shapeReply(const QByteArray& reply, LineFaults& faults, QRandomGenerator& rng);

QByteArray randomBytes(int count, QRandomGenerator& rng);

} // namespace tavo::sim
