#pragma once

// What the display's shapes and indicator glyphs mean. The display itself draws raw masks; these
// meanings are shared by everything that writes a reading onto it (a scale) or reads one off it
// (the accessible text), so both sides agree.

#include <array>
#include <cstdint>
#include <string_view>

namespace scale {

// Digit cells: bit 0 segment a (top) ... bit 6 segment g (middle), bit 7 the decimal point.
inline constexpr std::uint8_t kPointSegment = 0x80;
inline constexpr std::uint8_t kMinusShape = 0x40;
// The figures 0 to 9 as a scale draws them.
inline constexpr std::array<std::uint8_t, 10> kDigitShapes = {0x3F, 0x06, 0x5B, 0x4F, 0x66,
                                                              0x6D, 0x7D, 0x07, 0x7F, 0x6F};

struct ShapeName {
    std::uint8_t mask;  // without the point
    char text;
};

// Every cell shape that reads as a character: the figures (with the common 7 and 9 that light
// one segment more or less), the hexadecimal letters and the minus.
inline constexpr ShapeName kCellShapes[] = {
    {0x3F, '0'}, {0x06, '1'}, {0x5B, '2'}, {0x4F, '3'}, {0x66, '4'}, {0x6D, '5'}, {0x7D, '6'},
    {0x07, '7'}, {0x27, '7'}, {0x7F, '8'}, {0x6F, '9'}, {0x67, '9'}, {0x77, 'A'}, {0x7C, 'B'},
    {0x39, 'C'}, {0x5E, 'D'}, {0x79, 'E'}, {0x71, 'F'}, {0x40, '-'},
};

// Sign slot: one glyph per bit, each with one meaning.
inline constexpr std::uint8_t kSignZero = 0x01;     // arrows at a ring: the platform is empty
inline constexpr std::uint8_t kSignHold = 0x02;     // the eye: the reading is held
inline constexpr std::uint8_t kSignStable = 0x04;   // the solid bar: the reading has settled
inline constexpr std::uint8_t kSignTare = 0x08;     // arrows at a T: a tare is in use
inline constexpr std::uint8_t kSignBattery = 0x10;  // the battery: its charge is low
inline constexpr std::uint8_t kSignData = 0x20;     // the aerial: a reading was sent

// Unit slot: bit n lights the label kUnitNames[n]; bits 0..4 name a unit of mass, bits 5 and 6
// say whether the weight is gross or net.
inline constexpr std::array<const char*, 7> kUnitNames = {"kg",   "lb",    "oz", "st",
                                                          "viss", "gross", "net"};
inline constexpr unsigned kMassUnitCount = 5;
inline constexpr std::uint8_t kUnitGross = 0x20;
inline constexpr std::uint8_t kUnitNet = 0x40;

// WM slot: bit 7 the over-load legend, bits 6..1 the six bars (bit 1 the bottom one).
inline constexpr std::uint8_t kWmOverLoad = 0x80;
inline constexpr std::uint8_t kWmBars = 0x7E;

struct IndicatorName {
    std::uint8_t mask;
    std::string_view name;
};

// The short names read out for lit indicators, in the column's order from the top.
inline constexpr std::array<IndicatorName, 6> kSignNames = {{
    {kSignData, "data"},
    {kSignZero, "zero"},
    {kSignHold, "hold"},
    {kSignStable, "stable"},
    {kSignTare, "tare"},
    {kSignBattery, "battery low"},
}};
inline constexpr std::string_view kOverLoadName = "over load";

}  // namespace scale
