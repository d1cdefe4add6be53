#pragma once

// Every element of the segment display as data, at fixed pixel positions. Each row belongs to one
// bit of one slot; rows are in drawing order.

#include <array>
#include <cstdint>
#include <span>

#include "platform/canvas/Canvas.h"
#include "scale/Glyphs.h"

namespace lumeq::tables {

using canvas::Point;

struct LineRow {
    int x1, y1, x2, y2;  // (x1,y1) lit, (x2,y2) not
};

struct BoxRow {
    int left, top, right, bottom;  // x left..right-1, y top..bottom-1
};

// ---- Digit cells -------------------------------------------------------------------------------

inline constexpr int kCellCount = 6;
inline constexpr int kCellPitch = 49;
// Origin X0 of each cell, Hex1 (leftmost) first.
inline constexpr std::array<int, kCellCount> kCellX0 = {62, 111, 160, 209, 258, 307};
static_assert([] {
    for (int n = 0; n < kCellCount; ++n) {
        if (kCellX0[n] != kCellX0[0] + kCellPitch * n) {
            return false;
        }
    }
    return true;
}());

struct SegmentRow {
    int bit;
    char name;  // 'p' for the decimal point
    int count;
    std::array<Point, 8> vertices;  // x relative to X0, y absolute; the first `count` are used
    std::span<const Point> Vertices() const { return {vertices.data(), std::size_t(count)}; }
};

inline constexpr std::array<SegmentRow, 8> kSegments = {{
    {0, 'a', 4, {{{2, 22}, {30, 22}, {22, 30}, {10, 30}}}},
    {1, 'b', 4, {{{32, 23}, {32, 57}, {24, 49}, {24, 31}}}},
    {2, 'c', 4, {{{32, 58}, {32, 93}, {24, 85}, {24, 66}}}},
    {3, 'd', 4, {{{2, 94}, {30, 94}, {22, 86}, {10, 86}}}},
    {4, 'e', 4, {{{0, 58}, {0, 93}, {8, 85}, {8, 66}}}},
    {5, 'f', 4, {{{0, 23}, {0, 57}, {8, 49}, {8, 31}}}},
    {6, 'g', 6, {{{2, 58}, {7, 53}, {25, 53}, {30, 58}, {25, 62}, {7, 62}}}},
    {7, 'p', 8, {{{39, 85}, {42, 85}, {45, 88}, {45, 91}, {42, 94}, {39, 94}, {36, 91}, {36, 88}}}},
}};

// ---- Unit labels (slot Unit) -------------------------------------------------------------------

struct LabelRow {
    int bit;
    const char* text;
    int x, y;  // top-left corner of the text
};

inline constexpr std::array<LabelRow, 7> kUnitLabels = {{
    {0, scale::kUnitNames[0], 72, 2},
    {1, scale::kUnitNames[1], 104, 2},
    {2, scale::kUnitNames[2], 136, 2},
    {3, scale::kUnitNames[3], 168, 2},
    {4, scale::kUnitNames[4], 200, 2},
    {5, scale::kUnitNames[5], 250, 2},
    {6, scale::kUnitNames[6], 310, 2},
}};

// ---- WM: bars and the legend -------------------------------------------------------------------

struct BarRow {
    int bit;
    BoxRow box;
};

// Drawing order: bits 6 down to 1.
inline constexpr std::array<BarRow, 6> kWmBars = {{
    {6, {4, 36, 29, 49}},
    {5, {4, 51, 29, 62}},
    {4, {4, 64, 29, 73}},
    {3, {4, 75, 29, 82}},
    {2, {4, 84, 29, 89}},
    {1, {4, 91, 29, 94}},
}};

inline constexpr int kLegendBit = 7;

struct LegendRow {
    enum Kind : std::uint8_t { kLine, kBox } kind;
    int a, b, c, d;  // a line's (x1,y1)->(x2,y2) or a box's [left,top,right,bottom]
};

inline constexpr LegendRow::Kind L = LegendRow::kLine;
inline constexpr LegendRow::Kind B = LegendRow::kBox;

// "over" above "Load", 47 primitives.
inline constexpr std::array<LegendRow, 47> kLegend = {{
    {L, 5, 18, 9, 18},   {L, 5, 23, 9, 23},   {L, 5, 19, 5, 23},   {L, 8, 19, 8, 23},
    {L, 4, 19, 4, 23},   {L, 9, 19, 9, 23},   {B, 11, 18, 13, 20}, {B, 15, 18, 17, 20},
    {B, 12, 20, 16, 22}, {B, 13, 22, 15, 24}, {L, 20, 18, 22, 18}, {L, 20, 20, 22, 20},
    {L, 19, 18, 19, 21}, {L, 22, 18, 22, 21}, {L, 18, 19, 18, 23}, {L, 19, 21, 19, 24},
    {L, 19, 23, 23, 23}, {L, 22, 22, 24, 22}, {L, 23, 19, 23, 21}, {L, 25, 18, 29, 18},
    {L, 25, 19, 28, 19}, {L, 25, 20, 25, 24}, {L, 26, 20, 26, 24}, {L, 4, 25, 4, 34},
    {L, 5, 25, 5, 34},   {L, 6, 33, 8, 33},   {L, 10, 28, 14, 28}, {L, 10, 33, 14, 33},
    {L, 10, 29, 10, 33}, {L, 13, 29, 13, 33}, {L, 9, 29, 9, 33},   {L, 14, 29, 14, 33},
    {L, 17, 30, 21, 30}, {L, 17, 33, 21, 33}, {L, 17, 31, 17, 33}, {L, 20, 31, 20, 33},
    {L, 17, 28, 21, 28}, {L, 20, 29, 22, 29}, {L, 16, 31, 16, 33}, {L, 21, 30, 21, 34},
    {L, 24, 28, 28, 28}, {L, 24, 33, 28, 33}, {L, 24, 29, 24, 33}, {L, 27, 29, 27, 33},
    {L, 23, 29, 23, 33}, {L, 27, 25, 27, 28}, {L, 28, 25, 28, 34},
}};

// ---- Sign glyphs -------------------------------------------------------------------------------

// Bit 0: two arrows pointing inwards at a small ring.
inline constexpr LineRow kSignBit0[] = {
    {33, 28, 39, 28}, {33, 29, 39, 29}, {36, 25, 40, 29}, {36, 32, 40, 28}, {51, 28, 55, 24},
    {51, 29, 55, 33}, {52, 28, 58, 28}, {52, 29, 58, 29}, {44, 22, 47, 22}, {42, 23, 49, 23},
    {42, 24, 44, 24}, {47, 24, 49, 24}, {41, 25, 41, 33}, {42, 25, 42, 33}, {48, 25, 48, 33},
    {49, 25, 49, 33}, {42, 33, 44, 33}, {47, 33, 49, 33}, {42, 34, 49, 34}, {44, 35, 47, 35},
};

// Bit 1: an eye.
inline constexpr LineRow kSignBit1[] = {
    {40, 38, 50, 38}, {40, 50, 50, 50}, {38, 39, 40, 39}, {50, 39, 52, 39}, {36, 40, 38, 40},
    {52, 40, 54, 40}, {33, 43, 36, 40}, {56, 43, 53, 40}, {33, 44, 33, 46}, {56, 44, 56, 46},
    {34, 46, 37, 49}, {37, 48, 39, 50}, {39, 49, 41, 51}, {56, 45, 52, 49}, {52, 48, 50, 50},
    {50, 49, 48, 51}, {42, 41, 48, 41}, {42, 47, 48, 47}, {39, 42, 42, 42}, {48, 42, 51, 42},
    {39, 46, 42, 46}, {48, 46, 51, 46}, {36, 44, 39, 41}, {36, 44, 39, 47}, {53, 44, 50, 41},
    {53, 44, 50, 47}, {43, 44, 47, 44}, {44, 43, 44, 46}, {45, 43, 45, 46},
};

// Bit 2: a filled capsule.
inline constexpr LineRow kSignBit2[] = {
    {36, 54, 55, 54}, {35, 55, 56, 55}, {34, 56, 57, 56}, {33, 57, 58, 57},
    {33, 58, 58, 58}, {34, 59, 57, 59}, {35, 60, 56, 60}, {36, 61, 55, 61},
};

// Bit 3: two arrows pointing inwards at a T.
inline constexpr LineRow kSignBit3[] = {
    {39, 64, 52, 64}, {39, 65, 52, 65}, {44, 66, 44, 78}, {45, 66, 45, 78}, {46, 66, 46, 78},
    {33, 71, 41, 71}, {33, 72, 41, 72}, {38, 68, 42, 72}, {41, 72, 37, 76}, {50, 71, 58, 71},
    {50, 72, 58, 72}, {49, 71, 53, 67}, {49, 72, 53, 76},
};

// Bit 4: a battery; the outline is one chain, then plus and minus.
inline constexpr Point kSignBit4Chain[] = {
    {34, 82}, {39, 82}, {39, 80}, {42, 80}, {42, 82}, {50, 82}, {50, 80},
    {53, 80}, {53, 82}, {57, 82}, {57, 94}, {34, 94}, {34, 82},
};
inline constexpr LineRow kSignBit4[] = {
    {37, 87, 43, 87}, {37, 88, 43, 88}, {39, 85, 39, 91},
    {40, 85, 40, 91}, {48, 87, 54, 87}, {48, 88, 54, 88},
};

// Bit 5: a three-pronged fork.
inline constexpr LineRow kSignBit5[] = {
    {33, 2, 42, 11}, {34, 2, 42, 10}, {51, 2, 43, 10},
    {52, 2, 43, 11}, {42, 2, 42, 20}, {43, 2, 43, 20},
};

struct GlyphRow {
    int bit;
    std::span<const Point> chain;  // drawn first; empty for most glyphs
    std::span<const LineRow> lines;
};

// Drawing order: bits 0 to 5.
inline constexpr std::array<GlyphRow, 6> kSignGlyphs = {{
    {0, {}, kSignBit0},
    {1, {}, kSignBit1},
    {2, {}, kSignBit2},
    {3, {}, kSignBit3},
    {4, kSignBit4Chain, kSignBit4},
    {5, {}, kSignBit5},
}};

}  // namespace lumeq::tables
