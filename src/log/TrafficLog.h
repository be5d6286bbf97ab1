#pragma once

#include "TrafficRow.h"

#include <functional>
#include <vector>

namespace tavo {

// The newest rows in a ring: appending to a full ring drops the oldest. Rows
// are numbered from the start of the run, so a reader can tell which of the
// rows it holds are gone.
class TrafficLog {
public:
    static constexpr int kDefaultCapacity = 100000;

    explicit TrafficLog(int capacity = kDefaultCapacity);

    void append(const TrafficRow& row);
    void clear();

    int capacity() const { return m_capacity; }
    int size() const { return int(m_count); }
    // Number of the oldest row held, and one past the newest.
    qint64 firstNumber() const { return m_appended - m_count; }
    qint64 endNumber() const { return m_appended; }
    // Rows dropped to make room since the start (not those cleared).
    qint64 dropped() const { return m_dropped; }
    // The row numbered `number`; firstNumber() <= number < endNumber().
    const TrafficRow& row(qint64 number) const;

    // Called after every change.
    void setOnChanged(std::function<void()> changed) { m_changed = std::move(changed); }

private:
    int m_capacity;
    std::vector<TrafficRow> m_rows; // grows to the capacity, then wraps
    qint64 m_appended = 0;
    qint64 m_count = 0;
    qint64 m_dropped = 0;
    std::function<void()> m_changed;
};

} // namespace tavo
