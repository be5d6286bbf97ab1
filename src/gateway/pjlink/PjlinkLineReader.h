#pragma once

#include <QByteArray>

#include <deque>
#include <optional>

namespace tavo::gateway::pjlink {

// Splits a client's bytes into lines, with bounded memory whatever it sends. A line ends with CR
// (LF too, so CR LF is one end); NUL bytes and line ends before a line are skipped, as clients
// in the field pad with them. A line longer than kMaxLine is cut to its first bytes and marked,
// and the rest of it, up to its end, is dropped.
class LineReader {
public:
    // A digest (32) and the longest command (header 7, parameter 128).
    static constexpr int kMaxLine = 32 + 7 + 128;
    // Whole lines held while the one before is being answered.
    static constexpr int kMaxWaitingLines = 8;

    struct Line {
        QByteArray text;
        bool overlong = false;
    };

    // False once more whole lines wait than kMaxWaitingLines: the client is flooding.
    bool feed(const QByteArray& bytes);
    std::optional<Line> next();
    // A line has begun and its end has not come yet.
    bool midLine() const { return !m_current.isEmpty() || m_dropping; }

private:
    void finishLine();

    std::deque<Line> m_lines;
    QByteArray m_current;
    bool m_dropping = false; // inside an overlong line
};

} // namespace tavo::gateway::pjlink
