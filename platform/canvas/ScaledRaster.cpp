#include "platform/canvas/ScaledRaster.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace canvas::raster {

namespace {

struct CentrePoint {
    double x;
    double y;
};

// Pixels X of row `row` whose centre lies strictly between xl and xr.
void CentreSpan(const Surface& surface, long long row, double xl, double xr, QRgb color) {
    const double first = std::floor(xl - 0.5) + 1;
    const double last = std::ceil(xr - 0.5) - 1;
    if (first > last) {
        return;
    }
    const double lo = std::max(first, -1.0);
    const double hi = std::min(last, static_cast<double>(surface.width));
    surface.Span(row, static_cast<long long>(lo), static_cast<long long>(hi), color);
}

// The rows whose centres lie strictly between y0 and y1, clipped to the image.
void RowsBetween(const Surface& surface, double y0, double y1, long long* first, long long* last) {
    const double rows = static_cast<double>(surface.height);
    *first = static_cast<long long>(std::clamp(std::floor(y0 - 0.5) + 1, 0.0, rows));
    *last = static_cast<long long>(std::clamp(std::ceil(y1 - 0.5) - 1, -1.0, rows - 1));
}

// Even-odd interior of the closed chain, by pixel centres.
void FillCentres(const Surface& surface, std::span<const CentrePoint> points, QRgb color) {
    double yMin = points[0].y;
    double yMax = points[0].y;
    for (const CentrePoint& p : points) {
        yMin = std::min(yMin, p.y);
        yMax = std::max(yMax, p.y);
    }
    long long first = 0;
    long long last = 0;
    RowsBetween(surface, yMin, yMax, &first, &last);
    std::vector<double> crossings;
    crossings.reserve(points.size());
    for (long long row = first; row <= last; ++row) {
        const double yc = static_cast<double>(row) + 0.5;
        crossings.clear();
        for (std::size_t i = 0; i < points.size(); ++i) {
            const CentrePoint a = points[i];
            const CentrePoint b = points[(i + 1) % points.size()];
            if ((a.y <= yc) != (b.y <= yc)) {
                crossings.push_back(a.x + (yc - a.y) * (b.x - a.x) / (b.y - a.y));
            }
        }
        std::sort(crossings.begin(), crossings.end());
        for (std::size_t k = 0; k + 1 < crossings.size(); k += 2) {
            CentreSpan(surface, row, crossings[k], crossings[k + 1], color);
        }
    }
}

// The segment a-b swept by a square of half-width h: every pixel whose centre is nearer than h
// to the segment in both axes at once.
void SweepSquare(const Surface& surface, CentrePoint a, CentrePoint b, double h, QRgb color) {
    long long first = 0;
    long long last = 0;
    RowsBetween(surface, std::min(a.y, b.y) - h, std::max(a.y, b.y) + h, &first, &last);
    for (long long row = first; row <= last; ++row) {
        const double yc = static_cast<double>(row) + 0.5;
        double t0 = 0;
        double t1 = 1;
        if (a.y != b.y) {
            const double u = (yc - h - a.y) / (b.y - a.y);
            const double v = (yc + h - a.y) / (b.y - a.y);
            t0 = std::max(0.0, std::min(u, v));
            t1 = std::min(1.0, std::max(u, v));
            if (t0 >= t1) {
                continue;
            }
        }
        const double x0 = a.x + t0 * (b.x - a.x);
        const double x1 = a.x + t1 * (b.x - a.x);
        CentreSpan(surface, row, std::min(x0, x1) - h, std::max(x0, x1) + h, color);
    }
}

}  // namespace

void ScaledLine(const Surface& surface, const DeviceScale& scale, Point from, Point to, QRgb pen) {
    const long long dx = static_cast<long long>(to.x) - from.x;
    const long long dy = static_cast<long long>(to.y) - from.y;
    if ((dx == 0 && dy == 0) || surface.bits == nullptr) {
        return;
    }
    const long long t = scale.Thickness();
    if (dx == 0 || dy == 0) {
        // One run along the line, the line's own length scaled, `t` thick across it.
        const bool horizontal = dy == 0;
        const long long start = horizontal ? from.x : from.y;
        const long long end = horizontal ? to.x : to.y;
        const long long lo = scale.Edge(start < end ? start : end + 1);
        const long long hi = scale.Edge(start < end ? end : start + 1);
        const long long across = scale.Edge(horizontal ? from.y : from.x);
        if (horizontal) {
            surface.Fill(lo, across, hi, across + t, pen);
        } else {
            surface.Fill(across, lo, across + t, hi, pen);
        }
        return;
    }
    const auto stamp = [&](long long x, long long y) { surface.Fill(x, y, x + t, y + t, pen); };
    if (scale.IsIntegral()) {
        // Each pixel of the 1x line becomes its block.
        raster::TraceLine({from.x, from.y}, {to.x, to.y}, scale.Cover(surface.width),
                          scale.Cover(surface.height),
                          [&](long long x, long long y) { stamp(scale.Edge(x), scale.Edge(y)); });
        return;
    }
    // The line traced at the image's resolution with a square pen; traced shifted by the pen's
    // size so that a pen partly left of or above the image still shows its visible part.
    const long long shift = t - 1;
    raster::TraceLine({scale.Edge(from.x) + shift, scale.Edge(from.y) + shift},
                      {scale.Edge(to.x) + shift, scale.Edge(to.y) + shift}, surface.width + shift,
                      surface.height + shift,
                      [&](long long x, long long y) { stamp(x - shift, y - shift); });
}

void ScaledBox(const Surface& surface, const DeviceScale& scale, int left, int top, int right,
               int bottom, QRgb pen, QRgb brush) {
    if (right <= left || bottom <= top) {
        return;
    }
    const long long t = scale.Thickness();
    const long long x0 = scale.Edge(left);
    const long long x1 = scale.Edge(right);
    const long long y0 = scale.Edge(top);
    const long long y1 = scale.Edge(bottom);
    const long long innerTop = std::min(y0 + t, y1);
    const long long innerBottom = std::max(y1 - t, innerTop);
    const long long innerLeft = std::min(x0 + t, x1);
    const long long innerRight = std::max(x1 - t, innerLeft);
    surface.Fill(x0, y0, x1, innerTop, pen);
    surface.Fill(x0, innerBottom, x1, y1, pen);
    surface.Fill(x0, innerTop, innerLeft, innerBottom, pen);
    surface.Fill(innerRight, innerTop, x1, innerBottom, pen);
    surface.Fill(innerLeft, innerTop, innerRight, innerBottom, brush);
}

void ScaledPolygon(const Surface& surface, const DeviceScale& scale, std::span<const Point> points,
                   QRgb pen, QRgb brush) {
    if (points.size() < 2 || surface.bits == nullptr) {
        return;
    }
    const double h = static_cast<double>(scale.Thickness()) / 2;
    std::vector<CentrePoint> centres;
    centres.reserve(points.size());
    for (const Point& p : points) {
        centres.push_back(
            {static_cast<double>(scale.Edge(p.x)) + h, static_cast<double>(scale.Edge(p.y)) + h});
    }
    FillCentres(surface, centres, brush);
    for (std::size_t i = 0; i < centres.size(); ++i) {
        SweepSquare(surface, centres[i], centres[(i + 1) % centres.size()], h, pen);
    }
}

}  // namespace canvas::raster
