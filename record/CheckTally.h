#pragma once

// How the checked weighings of a session fell: under, ok and over counted, and the yield (the
// share that was ok). Plain C++.

#include <cstdint>
#include <string>

#include "record/Capture.h"

namespace record {

struct CheckTally {
    std::uint64_t under = 0;
    std::uint64_t ok = 0;
    std::uint64_t over = 0;
    std::uint64_t unchecked = 0;  // captured without a verdict: no number, another unit

    void Add(const CapturedReading& reading);
    // "2 under, 40 ok, 1 over: yield 93.0 %" (one place, rounded half up); "No weighing checked
    // yet" before any; the unchecked ones are said when there are any.
    std::string Text() const;
};

}  // namespace record
