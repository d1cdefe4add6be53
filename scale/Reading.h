#pragma once

// What a frame's nine slot values say, for reading only: the cells as text, the number they show,
// the unit and the lit indicators. The display is still drawn from the raw masks.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "scale/Protocol.h"

namespace scale {

// The cells left to right: a known shape as its character, a blank cell as a space, any other
// shape as '?', a lit point after its cell's character. Blanks at either end are dropped.
std::string CellsText(std::span<const std::uint8_t> cells);

// "123.456 kg, stable, 3 of 6 bars": the cells and the lit unit labels, then the names of the
// lit indicators, the over-load legend and the number of lit bars. Empty for a blank display.
// What a screen reader says for the display.
std::string SpokenText(const Slots& values);

struct Number {
    std::string exact;  // "-0.50": the decimal as shown, a leading point given its 0
    double value = 0;

    bool operator==(const Number&) const = default;
};

struct Indicators {
    bool zero = false;
    bool hold = false;
    bool stable = false;
    bool tare = false;
    bool gross = false;
    bool net = false;
    bool batteryLow = false;
    bool dataSent = false;
    bool overLoad = false;
    int bars = 0;  // 0..6

    bool operator==(const Indicators&) const = default;
};

struct Reading {
    std::string text;  // CellsText of the six cells
    // When the text is a number (an optional minus, figures, at most one point) and the scale
    // is not over load; none for "----", "E", "?" and the like.
    std::optional<Number> number;
    std::string unit;  // the lit mass unit labels ("kg"), empty when none is lit
    Indicators indicators;
    // What another family's line can say beyond a frame.
    bool underLoad = false;
    std::string error;  // the scale's error reply as sent ("ES", "S I"); empty when none

    bool operator==(const Reading&) const = default;
};

Reading Read(const Slots& values);

}  // namespace scale
