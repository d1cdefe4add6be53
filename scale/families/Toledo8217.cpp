// The Mettler Toledo 8217 point-of-sale query: W is answered by STX, the weight (five figures
// and a point, "01.250", or six figures) and CR while the weight is valid, else by STX, '?', the
// status byte and CR; ? is answered by the status byte between STX and CR. The status bits:
//  0 in motion, 1 over capacity, 2 under zero, 3 outside the zero capture range, 4 at the
//  centre of zero, 5 and 6 always 1 (bit 7 is parity on a 7-bit line).
// The weight names no unit: the scale is set to one.

#include <algorithm>

#include "scale/families/Lines.h"

namespace scale::families {

namespace {

constexpr char kStx = 0x02;
constexpr int kAlwaysSet = 0x60;
constexpr std::size_t kWeightWidth = 6;

std::optional<Reading> StatusReading(char byte) {
    const int bits = static_cast<unsigned char>(byte);
    if ((bits & 0xE0) != kAlwaysSet)
        return std::nullopt;
    if (bits & 0x02)
        return LoadReading(true);
    if (bits & 0x04)
        return LoadReading(false);
    if (bits & 0x08)
        return ErrorReading("outside the zero capture range");
    Reading reading;
    reading.indicators.stable = !(bits & 0x01);
    reading.indicators.zero = bits & 0x10;
    return reading;
}

}  // namespace

std::optional<Reading> Toledo8217Line(std::string_view line) {
    if (!line.starts_with(kStx))
        return std::nullopt;
    line.remove_prefix(1);
    if (line.size() == 2 && line[0] == '?')
        return StatusReading(line[1]);
    if (line.size() == 1)
        return StatusReading(line[0]);
    const auto points = std::count(line.begin(), line.end(), '.');
    if (line.size() != kWeightWidth || points > 1 || line.front() == '.' || line.back() == '.')
        return std::nullopt;
    auto text = DecimalText(line);
    if (!text)
        return std::nullopt;
    return WeightReading(std::move(*text), "", true);
}

Family Toledo8217Family() {
    return {"8217",
            "the Mettler Toledo 8217 point-of-sale query (W, ?)",
            {{9600, 'E', 7, 1}, {2400, 'E', 7, 1}},
            {{Key::kZero, "Z"}},
            "W"};
}

}  // namespace scale::families
