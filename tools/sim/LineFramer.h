#pragma once

#include <QByteArray>
#include <QList>

namespace tavo::sim {

// Cuts the incoming byte stream into commands ended by CR. Line feeds are dropped wherever they
// appear; a line that grows past the limit (line noise, a wrong speed) is thrown away up to its
// next CR so it cannot fill memory or be half-executed.
class LineFramer {
public:
    static constexpr int kMaxLineLength = 128;

    QList<QByteArray> push(const QByteArray& bytes);
    void clear();

private:
    QByteArray pending_;
    bool discarding_ = false;
};

// Who a received line is for. With "AFFF" or the projector's own "Annn" in front, the prefix is
// removed; a line with another well-formed address is for somebody else. Text starting with "A"
// that is not an address stays as it is, and is then answered as an unknown command.
struct Routed {
    bool forUs = true;
    QByteArray command;
};

Routed route(const QByteArray& line, const QByteArray& ownAddress);

} // namespace tavo::sim
