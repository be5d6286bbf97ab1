#include "sim/LineFaults.h"

#include <algorithm>

namespace tavo::sim {

namespace {

constexpr int kMaxPiece = 3; // short pieces, so even "00" CR can arrive as "0" and "0" CR

QByteArray garbageFor(const QByteArray& reply, QRandomGenerator& rng) {
    QByteArray garbage = randomBytes(int(reply.size()), rng);
    if (garbage == reply)
        garbage[0] = char(garbage.at(0) ^ 0x80); // a garbled reply must never read as the real one
    return garbage;
}

QList<Chunk> splitIntoPieces(const QByteArray& bytes, const LineFaults& faults,
                             QRandomGenerator& rng) {
    QList<Chunk> pieces;
    int pos = 0;
    while (pos < bytes.size()) {
        const int left = int(bytes.size()) - pos;
        // The first piece always leaves something over, so the reply really is split.
        const int largest = std::min(kMaxPiece, pos == 0 ? left - 1 : left);
        const int size = 1 + int(rng.bounded(quint32(largest)));
        pieces.append({pos == 0 ? faults.slowMs : faults.splitGapMs, bytes.mid(pos, size)});
        pos += size;
    }
    return pieces;
}

} // namespace

QByteArray randomBytes(int count, QRandomGenerator& rng) {
    QByteArray bytes(std::max(count, 0), '\0');
    for (char& byte : bytes)
        byte = char(rng.bounded(256));
    return bytes;
}

QList<Chunk> shapeReply(const QByteArray& reply, LineFaults& faults, QRandomGenerator& rng) {
    if (faults.silent || reply.isEmpty())
        return {};
    QByteArray bytes = reply;
    if (faults.garbageNext) {
        bytes = garbageFor(reply, rng);
        faults.garbageNext = false;
    }
    if (!faults.split || bytes.size() < 2)
        return {{faults.slowMs, bytes}};
    return splitIntoPieces(bytes, faults, rng);
}

} // namespace tavo::sim
