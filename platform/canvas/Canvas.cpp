#include "canvas/Canvas.h"

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

bool Has32BitRgbLayout(QImage::Format format) {
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
           format == QImage::Format_ARGB32_Premultiplied;
}

int Sign(long long v) {
    return (v > 0) - (v < 0);
}

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
};

// The steps i in [first, last] for which start + direction * i lies in [0, limit).
void ClipSteps(long long start, int direction, long long limit, long long* first, long long* last) {
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

void DrawLine(const Surface& surface, Point from, Point to, QRgb color) {
    const long long dx = static_cast<long long>(to.x) - from.x;
    const long long dy = static_cast<long long>(to.y) - from.y;
    if ((dx == 0 && dy == 0) || surface.bits == nullptr) {
        return;
    }
    const bool xMajor = std::llabs(dx) >= std::llabs(dy);
    const unsigned long long steps = static_cast<unsigned long long>(std::llabs(xMajor ? dx : dy));
    const unsigned long long minor = static_cast<unsigned long long>(std::llabs(xMajor ? dy : dx));
    const long long majorStart = xMajor ? from.x : from.y;
    const long long minorStart = xMajor ? from.y : from.x;
    const int majorDir = Sign(xMajor ? dx : dy);
    const int minorDir = Sign(xMajor ? dy : dx);
    const long long majorLimit = xMajor ? surface.width : surface.height;
    const long long minorLimit = xMajor ? surface.height : surface.width;

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
        surface.Row(xMajor ? n : m)[xMajor ? m : n] = color;
    }
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
      m_pen(ToQRgb(0x000000)),
      m_brush(ToQRgb(0xFFFFFF)),
      m_text(ToQRgb(0x000000)),
      m_back(ToQRgb(0xFFFFFF)) {
    if (!m_image.isNull() && !Has32BitRgbLayout(m_image.format())) {
        m_image.convertTo(QImage::Format_RGB32);
    }
}

void Canvas::LineTo(int x, int y) {
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
    long long dx = dstX;
    long long dy = dstY;
    long long sx = srcX;
    long long sy = srcY;
    long long w = width;
    long long h = height;
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
