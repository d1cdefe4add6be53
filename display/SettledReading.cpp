#include "display/SettledReading.h"

#include <algorithm>

namespace lumeq {

bool SettledReading::Show(const std::string& weight, bool stable, Clock::time_point now) {
    if (weight != m_weight) {
        m_weight = weight;
        m_since = now;
    }
    m_stable = stable;
    return Check(now);
}

std::optional<SettledReading::Clock::time_point> SettledReading::Due() const {
    // A blank display says nothing, and a reading is said once.
    if (m_weight.empty() || m_announced == m_weight)
        return std::nullopt;
    Clock::time_point due = m_stable ? m_since : m_since + kQuiet;
    if (m_announced)
        due = std::max(due, m_announcedAt + kGap);
    return due;
}

bool SettledReading::Check(Clock::time_point now) {
    const std::optional<Clock::time_point> due = Due();
    if (!due || now < *due)
        return false;
    m_announced = m_weight;
    m_announcedAt = now;
    return true;
}

}  // namespace lumeq
