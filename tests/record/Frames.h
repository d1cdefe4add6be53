#pragma once

// Frames that show a given text, as a scale would send them.

#include <chrono>
#include <string_view>

#include "scale/FrameObserver.h"
#include "scale/Glyphs.h"

namespace record_test {

inline constexpr std::uint8_t kKg = 0x01;

// `cells` ("-0.50", "----", "-A1") right-aligned in the six cells; a point follows a figure.
inline scale::Slots Showing(std::string_view cells, std::uint8_t sign = 0,
                            std::uint8_t unit = kKg) {
    scale::Slots values{0, sign, unit, {}};
    std::size_t cell = values.hex.size();
    bool point = false;
    for (auto c = cells.rbegin(); c != cells.rend(); ++c) {
        if (*c == '.') {
            point = true;
            continue;
        }
        std::uint8_t shape = 0;
        for (const scale::ShapeName& known : scale::kCellShapes) {
            if (known.text == *c) {
                shape = known.mask;
                break;
            }
        }
        values.hex[--cell] = shape | (point ? scale::kPointSegment : 0);
        point = false;
    }
    return values;
}

inline scale::Frame MakeFrame(const scale::Slots& values,
                              std::chrono::system_clock::time_point time = {}) {
    return {scale::FrameOf(values), values, time, {}};
}

}  // namespace record_test
