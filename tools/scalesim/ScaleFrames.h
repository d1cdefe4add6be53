#pragma once

// The bytes a scale puts on its serial line and the meaning of every display bit they carry.
// Shared by the simulated scale and by tests that need to build or read frames.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "display/reading/Glyphs.h"

namespace scalesim {

// Line bytes.
inline constexpr std::uint8_t kProbe = 0x05;
inline constexpr std::uint8_t kHeader0 = 0x06;
inline constexpr std::uint8_t kHeader1 = 0xAA;
inline constexpr std::size_t kFrameSize = 12;
// The byte after the header carries nothing; we always send 0 there.
inline constexpr std::uint8_t kUnusedByte = 0x00;

// Key bytes; a double-click sends the same letter with bit 7 set.
inline constexpr std::uint8_t kKeyData = 'D';
inline constexpr std::uint8_t kKeyMode = 'M';
inline constexpr std::uint8_t kKeyTare = 'T';
inline constexpr std::uint8_t kKeyOnOff = 'O';
inline constexpr std::uint8_t kDoubleClick = 0x80;

// Digit cell segments.
inline constexpr std::uint8_t kSegA = 0x01;
inline constexpr std::uint8_t kSegB = 0x02;
inline constexpr std::uint8_t kSegC = 0x04;
inline constexpr std::uint8_t kSegD = 0x08;
inline constexpr std::uint8_t kSegE = 0x10;
inline constexpr std::uint8_t kSegF = 0x20;
inline constexpr std::uint8_t kSegG = 0x40;
inline constexpr std::uint8_t kSegPoint = lumeq::reading::kPointSegment;
inline constexpr std::uint8_t kGlyphMinus = lumeq::reading::kMinusShape;

// Unit slot.
inline constexpr std::uint8_t kUnitKg = 0x01;
inline constexpr std::uint8_t kUnitLb = 0x02;
inline constexpr std::uint8_t kUnitOz = 0x04;
inline constexpr std::uint8_t kUnitSt = 0x08;
inline constexpr std::uint8_t kUnitViss = 0x10;
inline constexpr std::uint8_t kUnitGross = 0x20;
inline constexpr std::uint8_t kUnitNet = 0x40;

// Sign slot: the simulated scale lights each indicator glyph for what the display's readers
// take it to mean.
inline constexpr std::uint8_t kSignZero = lumeq::reading::kSignZero;
inline constexpr std::uint8_t kSignHold = lumeq::reading::kSignHold;
inline constexpr std::uint8_t kSignStable = lumeq::reading::kSignStable;
inline constexpr std::uint8_t kSignTare = lumeq::reading::kSignTare;
inline constexpr std::uint8_t kSignBattery = lumeq::reading::kSignBattery;  // never lit: mains
inline constexpr std::uint8_t kSignData = lumeq::reading::kSignData;

// WM slot: bit 7 lights the over-load legend, bits 6..1 the six bars (bit 1 the bottom one).
inline constexpr std::uint8_t kWmOverLoad = lumeq::reading::kWmOverLoad;
inline constexpr int kBarCount = 6;
// The mask lighting the lowest `count` bars (clamped to 0..6).
std::uint8_t BarMask(int count);

struct DisplaySlots {
    std::uint8_t wm = 0;
    std::uint8_t sign = 0;
    std::uint8_t unit = 0;
    std::array<std::uint8_t, 6> hex{};  // hex[0] is the leftmost cell

    bool operator==(const DisplaySlots&) const = default;
};

using Frame = std::array<std::uint8_t, kFrameSize>;
using DigitCells = std::array<std::uint8_t, 6>;

Frame EncodeFrame(const DisplaySlots& slots);
// The slots of `bytes` when it is exactly one frame with a correct header.
std::optional<DisplaySlots> DecodeFrame(std::span<const std::uint8_t> bytes);

// Segment mask of the figure `digit` (0..9); 0 for anything else.
std::uint8_t DigitGlyph(int digit);

// Lays a reading such as "12.345", "-0.50" or "0" right-aligned into six cells. A point lights
// the point of the cell before it; '-' is segment g; ' ' is a blank cell. Nullopt when the
// text needs more than six cells or holds any other character.
std::optional<DigitCells> FormatWeight(std::string_view text);

// "12.345" for (12345, 3): `counts` of the last shown decimal, always with a figure before the
// point; negative values get a leading '-'.
std::string WeightText(std::int64_t counts, int decimals);

// Reads cells back into text ("12.345", "-0.50"); leading blanks are dropped and a cell that is
// neither blank, a figure nor a minus reads as '?'.
std::string ReadingText(const DigitCells& cells);

}  // namespace scalesim
