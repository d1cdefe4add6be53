#pragma once

// Rendering helpers and independent pixel rules for the display's picture.

#include <gtest/gtest.h>

#include <QImage>
#include <QRect>
#include <cstdlib>
#include <set>
#include <span>
#include <utility>

#include "canvas/Canvas.h"
#include "display/paint/SegmentPainter.h"

namespace lumeq::test {

using Pixel = std::pair<int, int>;  // (x, y)
using PixelSet = std::set<Pixel>;

constexpr int kWidth = 359;
constexpr int kHeight = 101;
// Distinct channels, so a swapped red and blue shows.
constexpr ColorRef kForeRef = 0x00204080;
constexpr QRgb kFore = 0xFF804020;
constexpr ColorRef kBackRef = 0x00302010;
constexpr QRgb kBack = 0xFF102030;
constexpr QRgb kUntouched = 0xFF010203;

// The nine slots by index: 0 WM, 1 Sign, 2 Unit, 3..8 Hex1..Hex6.
constexpr int kSlotCount = 9;

inline std::uint8_t& Slot(DisplayState& state, int slot) {
    switch (slot) {
        case 0:
            return state.wm;
        case 1:
            return state.sign;
        case 2:
            return state.unit;
        default:
            return state.hex[slot - 3];
    }
}

inline DisplayState Blank() {
    DisplayState state;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        Slot(state, slot) = 0;
    }
    state.foreColor1 = kForeRef;
    state.backColor = kBackRef;
    return state;
}

inline DisplayState WithBit(int slot, int bit) {
    DisplayState state = Blank();
    Slot(state, slot) = static_cast<std::uint8_t>(1u << bit);
    return state;
}

inline QImage Render(const DisplayState& state, QRect bounds = QRect(0, 0, kWidth, kHeight),
                     QSize size = QSize(kWidth, kHeight)) {
    QImage target(size, QImage::Format_RGB32);
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

inline void Add(PixelSet* to, const PixelSet& from) {
    to->insert(from.begin(), from.end());
}

// A line lights the integer points from its start towards its end, the end excluded. Every line
// of the picture is horizontal, vertical or diagonal.
inline PixelSet LinePixels(int x1, int y1, int x2, int y2) {
    const int dx = x2 - x1;
    const int dy = y2 - y1;
    EXPECT_TRUE(dx == 0 || dy == 0 || std::abs(dx) == std::abs(dy))
        << "slanted line (" << x1 << "," << y1 << ")->(" << x2 << "," << y2 << ")";
    const int steps = std::max(std::abs(dx), std::abs(dy));
    PixelSet pixels;
    for (int i = 0; i < steps; ++i) {
        pixels.insert({x1 + i * ((dx > 0) - (dx < 0)), y1 + i * ((dy > 0) - (dy < 0))});
    }
    return pixels;
}

inline PixelSet BoxPixels(int left, int top, int right, int bottom) {
    PixelSet pixels;
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            pixels.insert({x, y});
        }
    }
    return pixels;
}

// Integer points inside a convex polygon or on its edges: on the inner side of every edge.
inline PixelSet ConvexInsideOrOn(std::span<const canvas::Point> v, int dx) {
    int minX = v[0].x, maxX = v[0].x, minY = v[0].y, maxY = v[0].y;
    for (const canvas::Point p : v) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    PixelSet pixels;
    for (int y = minY; y <= maxY; ++y) {
        for (int x = minX; x <= maxX; ++x) {
            bool anyPositive = false;
            bool anyNegative = false;
            for (std::size_t i = 0; i < v.size(); ++i) {
                const canvas::Point a = v[i];
                const canvas::Point b = v[(i + 1) % v.size()];
                const int cross = (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
                anyPositive = anyPositive || cross > 0;
                anyNegative = anyNegative || cross < 0;
            }
            if (!(anyPositive && anyNegative)) {
                pixels.insert({x + dx, y});
            }
        }
    }
    return pixels;
}

struct Bounds {
    int left, right, top, bottom;  // inclusive
    bool operator==(const Bounds&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Bounds& b) {
    return os << "x " << b.left << ".." << b.right << ", y " << b.top << ".." << b.bottom;
}

inline Bounds BoundsOf(const PixelSet& pixels) {
    Bounds b{INT_MAX, INT_MIN, INT_MAX, INT_MIN};
    for (const auto& [x, y] : pixels) {
        b = {std::min(b.left, x), std::max(b.right, x), std::min(b.top, y), std::max(b.bottom, y)};
    }
    return b;
}

}  // namespace lumeq::test
