#pragma once

// The display's picture as text, for whoever cannot see it: what a sighted person reads on it.
// Reading only; the picture is still drawn from the raw masks.

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace lumeq::reading {

struct Shown {
    std::uint8_t wm = 0;
    std::uint8_t sign = 0;
    std::uint8_t unit = 0;
    std::array<std::uint8_t, 6> hex{};  // hex[0] is the leftmost cell
};

// The cells left to right: a known shape as its character, a blank cell as a space, any other
// shape as '?', a lit point after its cell's character. Blanks at either end are dropped.
std::string CellsText(std::span<const std::uint8_t> cells);

// "123.456 kg, stable, 3 of 6 bars": the cells and the lit unit labels, then the names of the
// lit indicators, the over-load legend and the number of lit bars. Empty for a blank display.
std::string ReadingText(const Shown& shown);

}  // namespace lumeq::reading
