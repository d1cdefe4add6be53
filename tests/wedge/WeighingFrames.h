#pragma once

// Readings and frames of a weighing for the typing tests: the cells of a decimal like "12.345"
// or "-0.50", right-aligned, with the unit and the indicators that tell a settled load from the
// empty pan.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "record/Capture.h"
#include "scale/Glyphs.h"
#include "scale/Reading.h"
#include "tests/support/PtyPeer.h"

namespace wedgetest {

inline constexpr std::uint8_t kMinusShape = 0x40;

// The nine slot values showing `text` in kg; stable, and the zero indicator when `empty`.
inline std::array<std::uint8_t, 9> WeighingSlots(const std::string& text, bool stable = true,
                                                 bool empty = false) {
    std::vector<std::uint8_t> cells;
    for (const char c : text) {
        if (c == '.' && cells.empty())
            cells.push_back(scale::kPointSegment);
        else if (c == '.')
            cells.back() |= scale::kPointSegment;
        else if (c >= '0' && c <= '9')
            cells.push_back(scale::kDigitShapes[static_cast<std::size_t>(c - '0')]);
        else
            cells.push_back(kMinusShape);  // a dash: "----"
    }
    std::array<std::uint8_t, 9> slots{0, 0, 0x01};
    slots[1] = static_cast<std::uint8_t>((stable ? scale::kSignStable : 0) |
                                         (empty ? scale::kSignZero : 0));
    const std::size_t first = 3 + 6 - cells.size();
    for (std::size_t i = 0; i < cells.size(); ++i)
        slots[first + i] = cells[i];
    return slots;
}

inline std::vector<std::uint8_t> WeighingFrame(const std::string& text, bool stable = true,
                                               bool empty = false) {
    return testing_support::ScaleFrame(WeighingSlots(text, stable, empty));
}

inline record::CapturedReading Captured(const std::string& text) {
    const auto slots = WeighingSlots(text);
    record::CapturedReading captured;
    captured.values = {
        slots[0], slots[1], slots[2], {slots[3], slots[4], slots[5], slots[6], slots[7], slots[8]}};
    captured.reading = scale::Read(captured.values);
    return captured;
}

}  // namespace wedgetest
