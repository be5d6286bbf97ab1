#include "PjlinkLineReader.h"

namespace tavo::gateway::pjlink {

bool LineReader::feed(const QByteArray& bytes) {
    for (const char c : bytes) {
        if (c == '\r' || c == '\n') {
            finishLine();
            continue;
        }
        if (m_dropping || (c == '\0' && m_current.isEmpty()))
            continue;
        if (m_current.size() == kMaxLine) {
            m_dropping = true; // kept: the first kMaxLine bytes, to answer for its command
            continue;
        }
        m_current.append(c);
    }
    return int(m_lines.size()) <= kMaxWaitingLines;
}

void LineReader::finishLine() {
    if (!m_current.isEmpty())
        m_lines.push_back(Line{m_current, m_dropping});
    m_current.clear();
    m_dropping = false;
}

std::optional<LineReader::Line> LineReader::next() {
    if (m_lines.empty())
        return std::nullopt;
    Line line = std::move(m_lines.front());
    m_lines.pop_front();
    return line;
}

} // namespace tavo::gateway::pjlink
