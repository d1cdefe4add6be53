#pragma once

// How often one kind of message is said: a burst at most per period, and the rest counted, so a
// flood of bad input cannot fill a log; the count is said when the period is over.

#include <chrono>
#include <cstdint>
#include <optional>
#include <utility>

namespace mqtt {

class RepeatLimit {
  public:
    using Clock = std::chrono::steady_clock;

    RepeatLimit(std::uint64_t burst, Clock::duration period) : m_burst(burst), m_period(period) {}

    // True when a message at `now` may be said; false when it is counted instead.
    bool Allow(Clock::time_point now) {
        if (m_said == 0 || now - m_start >= m_period) {
            m_start = now;
            m_said = 0;
        }
        if (m_said < m_burst) {
            ++m_said;
            return true;
        }
        ++m_held;
        return false;
    }

    // Once the period in which messages were held back is over: how many, said once.
    std::optional<std::uint64_t> Held(Clock::time_point now) {
        if (m_held == 0 || now - m_start < m_period)
            return std::nullopt;
        m_said = 0;
        return TakeHeld();
    }
    // How many were held back and not yet told, whether the period is over or not.
    std::uint64_t TakeHeld() { return std::exchange(m_held, 0); }

  private:
    const std::uint64_t m_burst;
    const Clock::duration m_period;
    Clock::time_point m_start{};
    std::uint64_t m_said = 0;
    std::uint64_t m_held = 0;
};

}  // namespace mqtt
