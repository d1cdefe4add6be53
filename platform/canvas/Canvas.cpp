#include "platform/canvas/Canvas.h"

#include "platform/canvas/Raster.h"
#include "platform/canvas/ScaledRaster.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace canvas {
namespace {

using raster::Surface;

bool Has32BitRgbLayout(QImage::Format format) {
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
           format == QImage::Format_ARGB32_Premultiplied;
}

// The pen's 1-pixel line, without its end point.
void DrawLine(const Surface& surface, Point from, Point to, QRgb color) {
    if (surface.bits == nullptr) {
        return;
    }
    raster::TraceLine({from.x, from.y}, {to.x, to.y}, surface.width, surface.height,
                      [&](long long x, long long y) { surface.Row(y)[x] = color; });
}

struct Edge {
    Point top;     // smaller y
    Point bottom;  // larger y
};

// Every integer point strictly inside (even-odd) gets the colour; points on the boundary may or
// may not, the outline takes care of them.
void FillInterior(const Surface& surface, std::span<const Point> points, QRgb color) {
    std::vector<Edge> edges;
    edges.reserve(points.size());
    long long yFirst = points[0].y;
    long long yLast = points[0].y;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const Point a = points[i];
        const Point b = points[(i + 1) % points.size()];
        yFirst = std::min<long long>(yFirst, a.y);
        yLast = std::max<long long>(yLast, a.y);
        if (a.y != b.y) {
            edges.push_back(a.y < b.y ? Edge{a, b} : Edge{b, a});
        }
    }
    yFirst = std::max(yFirst, 0LL);
    yLast = std::min(yLast, surface.height - 1);

    std::vector<double> crossings;
    crossings.reserve(edges.size());
    for (long long y = yFirst; y <= yLast; ++y) {
        crossings.clear();
        for (const Edge& e : edges) {
            // Half-open in y, so a vertex shared by two edges is counted once.
            if (y < e.top.y || y >= e.bottom.y) {
                continue;
            }
            // Exact for the small coordinates of real pictures: an integer quotient is exact.
            crossings.push_back(e.top.x + static_cast<double>(y - e.top.y) *
                                              (static_cast<double>(e.bottom.x) - e.top.x) /
                                              (static_cast<double>(e.bottom.y) - e.top.y));
        }
        std::sort(crossings.begin(), crossings.end());
        for (std::size_t k = 0; k + 1 < crossings.size(); k += 2) {
            surface.Span(y, static_cast<long long>(std::ceil(crossings[k])),
                         static_cast<long long>(std::floor(crossings[k + 1])), color);
        }
    }
}

}  // namespace

Canvas::Canvas(QImage& image)
    : m_image(image),
      m_scale(image.isNull() ? 1.0 : image.devicePixelRatio()),
      m_pen(ToQRgb(0x000000)),
      m_brush(ToQRgb(0xFFFFFF)),
      m_text(ToQRgb(0x000000)),
      m_back(ToQRgb(0xFFFFFF)) {
    if (!m_image.isNull() && !Has32BitRgbLayout(m_image.format())) {
        m_image.convertTo(QImage::Format_RGB32);
    }
}

void Canvas::LineTo(int x, int y) {
    if (!m_scale.IsOne()) {
        raster::ScaledLine(Surface(m_image), m_scale, m_position, {x, y}, m_pen);
        m_position = {x, y};
        return;
    }
    DrawLine(Surface(m_image), m_position, {x, y}, m_pen);
    m_position = {x, y};
}

void Canvas::Line(int x1, int y1, int x2, int y2) {
    MoveTo(x1, y1);
    LineTo(x2, y2);
}

void Canvas::Box(int left, int top, int right, int bottom) {
    if (right <= left || bottom <= top) {
        return;
    }
    if (!m_scale.IsOne()) {
        raster::ScaledBox(Surface(m_image), m_scale, left, top, right, bottom, m_pen, m_brush);
        return;
    }
    const Surface surface(m_image);
    const long long l = left;
    const long long r = static_cast<long long>(right) - 1;
    const long long t = top;
    const long long b = static_cast<long long>(bottom) - 1;
    surface.Span(t, l, r, m_pen);
    if (b != t) {
        surface.Span(b, l, r, m_pen);
    }
    const long long yFirst = std::max(t + 1, 0LL);
    const long long yLast = std::min(b - 1, surface.height - 1);
    for (long long y = yFirst; y <= yLast; ++y) {
        surface.Span(y, l, l, m_pen);
        surface.Span(y, r, r, m_pen);
        if (r - l >= 2) {
            surface.Span(y, l + 1, r - 1, m_brush);
        }
    }
}

void Canvas::FilledPolygon(std::span<const Point> points) {
    if (points.size() < 2 || m_image.isNull()) {
        return;
    }
    if (!m_scale.IsOne()) {
        raster::ScaledPolygon(Surface(m_image), m_scale, points, m_pen, m_brush);
        return;
    }
    const Surface surface(m_image);
    FillInterior(surface, points, m_brush);
    for (std::size_t i = 0; i < points.size(); ++i) {
        DrawLine(surface, points[i], points[(i + 1) % points.size()], m_pen);
    }
}

void Canvas::Label(int x, int y, std::string_view text) {
    if (text.empty() || m_image.isNull() || qGuiApp == nullptr) {
        return;
    }
    const QString string = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    QPainter painter(&m_image);
    QFont font = painter.font();
    font.setStyleStrategy(QFont::NoAntialias);
    painter.setFont(font);
    const QFontMetrics metrics = painter.fontMetrics();
    const long long width = metrics.horizontalAdvance(string);
    const long long height = metrics.height();
    if (x >= Width() || y >= Height() || x + width <= 0 || y + height <= 0) {
        return;
    }
    painter.fillRect(QRect(x, y, static_cast<int>(width), static_cast<int>(height)),
                     QColor::fromRgb(m_back));
    painter.setPen(QColor::fromRgb(m_text));
    painter.drawText(QPoint(x, y + metrics.ascent()), string);
}

void Canvas::FillSolidRect(int left, int top, int right, int bottom, ColorRef color) {
    if (right <= left || bottom <= top || m_image.isNull()) {
        return;
    }
    const Surface surface(m_image);
    const QRgb rgb = ToQRgb(color);
    if (!m_scale.IsOne()) {
        surface.Fill(m_scale.Edge(left), m_scale.Edge(top), m_scale.Edge(right),
                     m_scale.Edge(bottom), rgb);
        return;
    }
    const long long yFirst = std::max(static_cast<long long>(top), 0LL);
    const long long yLast = std::min(static_cast<long long>(bottom) - 1, surface.height - 1);
    for (long long y = yFirst; y <= yLast; ++y) {
        surface.Span(y, left, static_cast<long long>(right) - 1, rgb);
    }
}

void Canvas::CopyFrom(int dstX, int dstY, int width, int height, const QImage& source, int srcX,
                      int srcY) {
    if (width <= 0 || height <= 0 || source.isNull() || m_image.isNull()) {
        return;
    }
    if (!m_scale.IsOne()) {
        const auto length = [&](int start, int size) {
            return m_scale.Edge(static_cast<long long>(start) + size) - m_scale.Edge(start);
        };
        CopyPixels(m_scale.Edge(dstX), m_scale.Edge(dstY), length(dstX, width),
                   length(dstY, height), source, m_scale.Edge(srcX), m_scale.Edge(srcY));
        return;
    }
    CopyPixels(dstX, dstY, width, height, source, srcX, srcY);
}

void Canvas::CopyPixels(long long dx, long long dy, long long w, long long h, const QImage& source,
                        long long sx, long long sy) {
    // Moves the start of both rectangles together until `a` is no longer negative.
    const auto clipStart = [](long long& a, long long& b, long long& length) {
        if (a < 0) {
            b -= a;
            length += a;
            a = 0;
        }
    };
    clipStart(dx, sx, w);
    clipStart(sx, dx, w);
    clipStart(dy, sy, h);
    clipStart(sy, dy, h);
    w = std::min({w, Width() - dx, source.width() - sx});
    h = std::min({h, Height() - dy, source.height() - sy});
    if (w <= 0 || h <= 0) {
        return;
    }

    QImage converted;
    const QImage* from = &source;
    if (source.format() != QImage::Format_RGB32) {
        converted = source.convertToFormat(QImage::Format_RGB32);
        from = &converted;
    }
    // Detach the target first: when the source is the target itself, both then name the same
    // pixels, and rows are moved in the order that keeps overlapping blocks intact.
    const Surface surface(m_image);
    const uchar* srcBits = from->constBits();
    const qsizetype srcStride = from->bytesPerLine();
    const std::size_t rowBytes = static_cast<std::size_t>(w) * sizeof(QRgb);
    const bool bottomUp = dy > sy;
    for (long long k = 0; k < h; ++k) {
        const long long row = bottomUp ? h - 1 - k : k;
        std::memmove(surface.Row(dy + row) + dx,
                     srcBits + (sy + row) * srcStride + sx * static_cast<long long>(sizeof(QRgb)),
                     rowBytes);
    }
}

}  // namespace canvas
