#pragma once

// Pixel-level building blocks shared by the canvas's drawing at one and at other pixel ratios.
// Internal to the canvas library.

#include <QImage>
#include <algorithm>
#include <cstdlib>

#include "platform/canvas/Canvas.h"

namespace canvas::raster {

// The image's pixels for the length of one drawing operation. Taking them detaches the image
// once, so the writes never reach a copy that shares its data.
struct Surface {
    uchar* bits = nullptr;
    qsizetype stride = 0;
    long long width = 0;
    long long height = 0;

    explicit Surface(QImage& image)
        : bits(image.isNull() ? nullptr : image.bits()),
          stride(image.bytesPerLine()),
          width(bits == nullptr ? 0 : image.width()),
          height(bits == nullptr ? 0 : image.height()) {}

    QRgb* Row(long long y) const { return reinterpret_cast<QRgb*>(bits + y * stride); }

    // Pixels x0..x1 (inclusive) of row y, clipped.
    void Span(long long y, long long x0, long long x1, QRgb color) const {
        if (y < 0 || y >= height) {
            return;
        }
        x0 = std::max(x0, 0LL);
        x1 = std::min(x1, width - 1);
        if (x0 <= x1) {
            std::fill(Row(y) + x0, Row(y) + x1 + 1, color);
        }
    }

    // Pixels x0..x1-1 of rows y0..y1-1, clipped.
    void Fill(long long x0, long long y0, long long x1, long long y1, QRgb color) const {
        for (long long y = std::max(y0, 0LL); y < std::min(y1, height); ++y) {
            Span(y, x0, x1 - 1, color);
        }
    }
};

struct LongPoint {
    long long x = 0;
    long long y = 0;
};

// The steps i in [first, last] for which start + direction * i lies in [0, limit).
inline void ClipSteps(long long start, int direction, long long limit, long long* first,
                      long long* last) {
    if (direction > 0) {
        *first = std::max(*first, -start);
        *last = std::min(*last, limit - 1 - start);
    } else if (direction < 0) {
        *first = std::max(*first, start - (limit - 1));
        *last = std::min(*last, start);
    } else if (start < 0 || start >= limit) {
        *last = *first - 1;
    }
}

// Calls plot(x, y) for every pixel of the line from `from` towards `to` (without `to`) that lies
// in [0, width) x [0, height). Horizontal, vertical and 45-degree lines light exactly the integer
// points before the end; other slopes one pixel per step of the longer axis, the nearest to the
// exact line (halves round towards the end point).
template <typename Plot>
void TraceLine(LongPoint from, LongPoint to, long long width, long long height, Plot&& plot) {
    const long long dx = to.x - from.x;
    const long long dy = to.y - from.y;
    if (dx == 0 && dy == 0) {
        return;
    }
    const auto sign = [](long long v) { return static_cast<int>((v > 0) - (v < 0)); };
    const bool xMajor = std::llabs(dx) >= std::llabs(dy);
    const unsigned long long steps = static_cast<unsigned long long>(std::llabs(xMajor ? dx : dy));
    const unsigned long long minor = static_cast<unsigned long long>(std::llabs(xMajor ? dy : dx));
    const long long majorStart = xMajor ? from.x : from.y;
    const long long minorStart = xMajor ? from.y : from.x;
    const int majorDir = sign(xMajor ? dx : dy);
    const int minorDir = sign(xMajor ? dy : dx);
    const long long majorLimit = xMajor ? width : height;
    const long long minorLimit = xMajor ? height : width;

    long long first = 0;
    long long last = static_cast<long long>(steps) - 1;
    ClipSteps(majorStart, majorDir, majorLimit, &first, &last);
    if (minor == 0 || minor == steps) {
        // Straight and diagonal lines move the minor axis by 0 or 1 per step.
        ClipSteps(minorStart, minor == 0 ? 0 : minorDir, minorLimit, &first, &last);
    }
    for (long long i = first; i <= last; ++i) {
        // Pixel i lies i steps along the major axis and round(i * minor / steps) along the minor
        // one (halves towards the end). The product stays below steps^2 < 2^64.
        const unsigned long long offset =
            minor == 0       ? 0
            : minor == steps ? static_cast<unsigned long long>(i)
                             : (static_cast<unsigned long long>(i) * minor + steps / 2) / steps;
        const long long m = majorStart + majorDir * i;
        const long long n = minorStart + minorDir * static_cast<long long>(offset);
        if (n < 0 || n >= minorLimit) {
            continue;
        }
        plot(xMajor ? m : n, xMajor ? n : m);
    }
}

}  // namespace canvas::raster
