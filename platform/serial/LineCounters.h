#pragma once

// Counters of line events that a serial driver keeps (modem-line changes, breaks, errors), and
// the port events that a change between two readings stands for.

#include <cstdint>

namespace serial_port {

struct LineCounters {
    std::uint64_t cts = 0;
    std::uint64_t dsr = 0;
    std::uint64_t ring = 0;
    std::uint64_t carrier = 0;
    std::uint64_t breaks = 0;
    std::uint64_t frameErrors = 0;
    std::uint64_t overruns = 0;
    std::uint64_t parityErrors = 0;
    std::uint64_t bufferOverruns = 0;
};

// Port event bits (kEventCts, kEventDsr, kEventRlsd, kEventRing, kEventBreak, kEventError) for
// the counters that changed from `before` to `after`, limited to `mask`.
std::uint32_t EventsBetween(const LineCounters& before, const LineCounters& after,
                            std::uint32_t mask);

}  // namespace serial_port
