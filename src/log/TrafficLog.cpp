#include "TrafficLog.h"

namespace tavo {

TrafficLog::TrafficLog(int capacity) : m_capacity(qMax(1, capacity)) {
    // Address space only until rows arrive: no copying of the whole ring as it fills.
    m_rows.reserve(std::size_t(m_capacity));
}

void TrafficLog::append(const TrafficRow& row) {
    const auto slot = std::size_t(m_appended % m_capacity);
    if (slot < m_rows.size())
        m_rows[slot] = row;
    else
        m_rows.push_back(row);
    ++m_appended;
    if (m_count == m_capacity)
        ++m_dropped;
    else
        ++m_count;
    if (m_changed)
        m_changed();
}

void TrafficLog::clear() {
    m_count = 0;
    m_rows.clear(); // numbering goes on
    if (m_appended % m_capacity != 0) {
        // Keep the slot arithmetic simple: start the next row at slot 0.
        m_appended += m_capacity - m_appended % m_capacity;
    }
    if (m_changed)
        m_changed();
}

const TrafficRow& TrafficLog::row(qint64 number) const {
    Q_ASSERT(number >= firstNumber() && number < endNumber());
    return m_rows[std::size_t(number % m_capacity)];
}

} // namespace tavo
