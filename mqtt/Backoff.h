#pragma once

// How long to wait before connecting again: doubling from the first step up to the longest, and
// from the first step again after a connection that came up, so a broker that drops a working
// connection now and then is not left for a minute.

#include <algorithm>
#include <chrono>

namespace mqtt {

class Backoff {
  public:
    Backoff(std::chrono::milliseconds first, std::chrono::milliseconds longest)
        : m_first(first), m_longest(longest), m_next(first) {}

    // The wait after an attempt; `cameUp`: the attempt's connection was accepted.
    std::chrono::milliseconds After(bool cameUp) {
        if (cameUp)
            m_next = m_first;
        const std::chrono::milliseconds wait = m_next;
        m_next = std::min(m_next * 2, m_longest);
        return wait;
    }

  private:
    const std::chrono::milliseconds m_first;
    const std::chrono::milliseconds m_longest;
    std::chrono::milliseconds m_next;
};

}  // namespace mqtt
