#pragma once

// A family's reading as the display shows it: the figures, minus and point on the six cells,
// right-aligned; a number wider than six figures loses decimals, rounded, never leading figures,
// and a wider integer shows dashes. The stable, zero, net, gross and over-load glyphs where the
// family says them; the kg, lb and oz labels where the unit is one of them, else the unit goes
// beside the display. Plain C++.

#include <optional>
#include <string>

#include "scale/Protocol.h"
#include "scale/Reading.h"

namespace scale::families {

struct Shown {
    Slots values;
    std::string otherUnit;  // "g", "ct", "pcs": shown beside the display; empty for kg, lb, oz
};

Shown ShownOf(const Reading& reading);

// "1234.567" on six cells: "1234.57". None when even the integer does not fit.
std::optional<std::string> FitToCells(const std::string& exact);

}  // namespace scale::families
