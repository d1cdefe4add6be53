#pragma once

// Rendering helpers and independent pixel rules for the display's picture.

#include <gtest/gtest.h>

#include <QImage>
#include <QRect>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <set>
#include <utility>

#include "display/paint/SegmentPainter.h"

namespace lumeq::test {

using PixelSet = std::set<std::pair<int, int>>;  // (x, y)

constexpr int kWidth = 359;
constexpr int kHeight = 101;
constexpr std::size_t kArea = std::size_t{kWidth} * kHeight;
// Distinct channels, so a swapped red and blue shows.
constexpr ColorRef kForeRef = 0x00204080;
constexpr QRgb kFore = 0xFF804020;
constexpr ColorRef kBackRef = 0x00302010;
constexpr QRgb kBack = 0xFF102030;
constexpr QRgb kUntouched = 0xFF010203;

// Slot indices: 0 WM, 1 Sign, 2 Unit, 3..8 Hex1..Hex6.
constexpr int kSlotCount = 9;
constexpr int kWm = 0, kSign = 1, kUnit = 2, kHex1 = 3;

inline std::uint8_t& Slot(DisplayState& state, int slot) {
    return slot == kWm     ? state.wm
           : slot == kSign ? state.sign
           : slot == kUnit ? state.unit
                           : state.hex[slot - kHex1];
}

inline DisplayState Filled(std::uint8_t value) {
    DisplayState state;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        Slot(state, slot) = value;
    }
    state.foreColor1 = kForeRef;
    state.backColor = kBackRef;
    return state;
}

inline DisplayState WithBit(int slot, int bit) {
    DisplayState state = Filled(0);
    Slot(state, slot) = static_cast<std::uint8_t>(1u << bit);
    return state;
}

inline QImage Render(const DisplayState& state, QRect bounds = QRect(0, 0, kWidth, kHeight)) {
    QImage target(kWidth, kHeight, QImage::Format_RGB32);
    target.fill(kUntouched);
    PaintDisplay(&target, bounds, state);
    return target;
}

inline PixelSet PixelsOf(const QImage& image, QRgb color) {
    PixelSet pixels;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == color) {
                pixels.insert({x, y});
            }
        }
    }
    return pixels;
}

inline PixelSet Lit(const QImage& image) {
    return PixelsOf(image, kFore);
}

struct Bounds {
    int left, right, top, bottom;  // inclusive
    bool operator==(const Bounds&) const = default;
    friend std::ostream& operator<<(std::ostream& os, const Bounds& b) {
        return os << "x " << b.left << ".." << b.right << ", y " << b.top << ".." << b.bottom;
    }
};

inline Bounds BoundsOf(const PixelSet& pixels) {
    Bounds b{INT_MAX, INT_MIN, INT_MAX, INT_MIN};
    for (const auto& [x, y] : pixels) {
        b = {std::min(b.left, x), std::max(b.right, x), std::min(b.top, y), std::max(b.bottom, y)};
    }
    return b;
}

}  // namespace lumeq::test
