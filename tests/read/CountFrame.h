#pragma once

// Frames whose reading is a count, so that a test can tell each one, and the count read back.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "scale/Glyphs.h"
#include "tests/support/PtyPeer.h"

namespace readtest {

// The frame showing `n` kg (or the unit of `unit`'s bits), stable, with `n` also in the byte that
// carries nothing.
inline std::vector<std::uint8_t> CountFrame(int n, std::uint8_t unit = 0x01) {
    const auto digit = [](int d) { return scale::kDigitShapes[static_cast<std::size_t>(d)]; };
    return testing_support::ScaleFrame({0, scale::kSignStable, unit, 0, 0, 0, digit(n / 100 % 10),
                                        digit(n / 10 % 10), digit(n % 10)},
                                       static_cast<std::uint8_t>(n));
}

// The number in "value":N of a reading; -1 when there is none.
inline int ValueOf(const std::string& json) {
    const std::size_t at = json.find("\"value\":");
    return at == std::string::npos ? -1 : std::atoi(json.c_str() + at + 8);
}

}  // namespace readtest
