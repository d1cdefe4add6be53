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

#include "scale/Glyphs.h"
#include "scale/Protocol.h"

namespace scalesim {

// Line bytes.
using scale::kDoubleClick;
using scale::kFrameSize;
using scale::kHeader0;
using scale::kHeader1;
using scale::kKeyData;
using scale::kKeyMode;
using scale::kKeyOnOff;
using scale::kKeyTare;
using scale::kProbe;
// The byte after the header carries nothing; we always send 0 there.
inline constexpr std::uint8_t kUnusedByte = scale::FrameOf({})[scale::kIgnoredByte];

// Digit cell segments.
inline constexpr std::uint8_t kSegA = 0x01;
inline constexpr std::uint8_t kSegB = 0x02;
inline constexpr std::uint8_t kSegC = 0x04;
inline constexpr std::uint8_t kSegD = 0x08;
inline constexpr std::uint8_t kSegE = 0x10;
inline constexpr std::uint8_t kSegF = 0x20;
inline constexpr std::uint8_t kSegG = 0x40;
inline constexpr std::uint8_t kSegPoint = scale::kPointSegment;
inline constexpr std::uint8_t kGlyphMinus = scale::kMinusShape;

// Unit slot.
inline constexpr std::uint8_t kUnitKg = 0x01;
inline constexpr std::uint8_t kUnitLb = 0x02;
inline constexpr std::uint8_t kUnitOz = 0x04;
inline constexpr std::uint8_t kUnitSt = 0x08;
inline constexpr std::uint8_t kUnitViss = 0x10;
inline constexpr std::uint8_t kUnitGross = scale::kUnitGross;
inline constexpr std::uint8_t kUnitNet = scale::kUnitNet;

// Sign slot: the simulated scale lights each indicator glyph for what the display's readers
// take it to mean.
inline constexpr std::uint8_t kSignZero = scale::kSignZero;
inline constexpr std::uint8_t kSignHold = scale::kSignHold;
inline constexpr std::uint8_t kSignStable = scale::kSignStable;
inline constexpr std::uint8_t kSignTare = scale::kSignTare;
inline constexpr std::uint8_t kSignBattery = scale::kSignBattery;  // never lit: mains
inline constexpr std::uint8_t kSignData = scale::kSignData;

// WM slot: bit 7 lights the over-load legend, bits 6..1 the six bars (bit 1 the bottom one).
inline constexpr std::uint8_t kWmOverLoad = scale::kWmOverLoad;
inline constexpr int kBarCount = 6;
// The mask lighting the lowest `count` bars (clamped to 0..6).
std::uint8_t BarMask(int count);

using DisplaySlots = scale::Slots;
using Frame = scale::FrameBytes;
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
