#include "sim/LineFramer.h"

#include "sim/CommandResponder.h"

namespace tavo::sim {

namespace {

bool isDigits(const QByteArray& text) {
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return !text.isEmpty();
}

} // namespace

QList<QByteArray> LineFramer::push(const QByteArray& bytes) {
    QList<QByteArray> lines;
    for (char c : bytes) {
        if (c == '\n')
            continue;
        if (c == kCr) {
            if (!discarding_)
                lines.append(pending_);
            pending_.clear();
            discarding_ = false;
            continue;
        }
        if (discarding_)
            continue;
        pending_.append(c);
        if (pending_.size() > kMaxLineLength) {
            pending_.clear();
            discarding_ = true;
        }
    }
    return lines;
}

void LineFramer::clear() {
    pending_.clear();
    discarding_ = false;
}

Routed route(const QByteArray& line, const QByteArray& ownAddress) {
    if (line.size() < 4 || line.front() != 'A')
        return {true, line};
    const QByteArray address = line.mid(1, 3);
    if (address == "FFF" || address == ownAddress)
        return {true, line.mid(4)};
    if (isDigits(address))
        return {false, {}};
    return {true, line};
}

} // namespace tavo::sim
