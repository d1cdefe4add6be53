#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include "platform/canvas/Canvas.h"
#include "tests/canvas/CanvasSupport.h"

namespace canvas::test {
namespace {

TEST(CanvasLine, LightsTheStartButNotTheEnd) {
    struct Case {
        int x1, y1, x2, y2;
        PixelSet expected;
    };
    const Case cases[] = {
        {5, 18, 9, 18, {{5, 18}, {6, 18}, {7, 18}, {8, 18}}},
        {9, 18, 5, 18, {{9, 18}, {8, 18}, {7, 18}, {6, 18}}},
        {3, 5, 3, 1, {{3, 5}, {3, 4}, {3, 3}, {3, 2}}},
        {1, 1, 4, 4, {{1, 1}, {2, 2}, {3, 3}}},
        {4, 1, 1, 4, {{4, 1}, {3, 2}, {2, 3}}},
        {2, 2, 3, 2, {{2, 2}}},
        {2, 2, 2, 2, {}},
    };
    for (const Case& c : cases) {
        QImage image = WhiteImage(12, 24);
        Canvas canvas(image);
        canvas.SetPen(kRedRef);
        canvas.Line(c.x1, c.y1, c.x2, c.y2);
        EXPECT_EQ(Drawn(image), c.expected) << c.x1 << "," << c.y1 << "->" << c.x2 << "," << c.y2;
        EXPECT_EQ(PixelsOf(image, kRed), c.expected);
    }
}

TEST(CanvasLine, ChainContinuesFromTheLastEnd) {
    QImage image = WhiteImage(8, 8);
    Canvas canvas(image);
    canvas.SetPen(kRedRef);
    canvas.Line(1, 1, 4, 1);
    canvas.LineTo(4, 4);
    canvas.LineTo(2, 6);
    EXPECT_EQ(Drawn(image),
              (PixelSet{{1, 1}, {2, 1}, {3, 1}, {4, 1}, {4, 2}, {4, 3}, {4, 4}, {3, 5}}));
}

// Other slopes: one pixel per step of the longer axis, within half a pixel of the exact line.
TEST(CanvasLine, OtherSlopesStayOnTheExactLine) {
    for (const auto& [dx, dy] : {std::pair{7, 3}, {-7, 3}, {2, 5}, {-3, -8}, {9, -4}}) {
        QImage image = WhiteImage(40, 40);
        Canvas canvas(image);
        canvas.SetPen(kRedRef);
        canvas.Line(20, 20, 20 + dx, 20 + dy);
        const PixelSet lit = Drawn(image);
        const bool xMajor = std::abs(dx) >= std::abs(dy);
        ASSERT_EQ(lit.size(), static_cast<std::size_t>(std::max(std::abs(dx), std::abs(dy))));
        EXPECT_TRUE(lit.contains({20, 20}));
        for (const auto& [x, y] : lit) {
            const double t = xMajor ? double(x - 20) / dx : double(y - 20) / dy;
            const double error = xMajor ? 20 + t * dy - y : 20 + t * dx - x;
            EXPECT_TRUE(t >= 0 && t < 1 && std::abs(error) <= 0.5) << x << "," << y;
        }
    }
}

PixelSet Outline(int left, int top, int right, int bottom) {
    PixelSet pixels = Rect(left, top, right, bottom);
    for (const auto& p : Rect(left + 1, top + 1, right - 1, bottom - 1)) {
        pixels.erase(p);
    }
    return pixels;
}

TEST(CanvasBox, PenOutlineAndBrushInteriorCoverRightMinusOneBottomMinusOne) {
    struct Case {
        int l, t, r, b;
        PixelSet red, blue;
    };
    const Case cases[] = {
        {2, 3, 6, 5, Rect(2, 3, 6, 5), {}},
        {4, 4, 5, 5, {{4, 4}}, {}},
        {1, 1, 5, 6, Outline(1, 1, 5, 6), Rect(2, 2, 4, 5)},
        {3, 3, 3, 7, {}, {}},
        {6, 6, 2, 2, {}, {}},
    };
    for (const Case& c : cases) {
        QImage image = WhiteImage(10, 10);
        Canvas canvas(image);
        canvas.SetPen(kRedRef);
        canvas.SetBrush(kBlueRef);
        canvas.Box(c.l, c.t, c.r, c.b);
        EXPECT_EQ(PixelsOf(image, kRed), c.red) << c.l << "," << c.t << "," << c.r << "," << c.b;
        EXPECT_EQ(PixelsOf(image, kBlue), c.blue);
        EXPECT_EQ(Drawn(image).size(), c.red.size() + c.blue.size());
    }
}

TEST(CanvasColor, TakesRedFromTheLowByteAndIgnoresTheHighByte) {
    QImage image = WhiteImage(3, 1);
    Canvas canvas(image);
    canvas.FillSolidRect(0, 0, 1, 1, 0x00112233);
    canvas.FillSolidRect(1, 0, 2, 1, 0xFF0000FF);
    EXPECT_EQ(image.pixel(0, 0), qRgb(0x33, 0x22, 0x11));
    EXPECT_EQ(image.pixel(1, 0), kRed);
    EXPECT_EQ(image.pixel(2, 0), kWhite);
}

using Polygon = std::vector<Point>;

// Integer points inside the closed chain (ray crossing) or on one of its edges.
PixelSet InsideOrOn(const Polygon& v, int width, int height) {
    PixelSet pixels;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            bool inside = false;
            bool onEdge = false;
            for (std::size_t i = 0; i < v.size(); ++i) {
                const Point a = v[i];
                const Point b = v[(i + 1) % v.size()];
                onEdge = onEdge || ((b.x - a.x) * (y - a.y) == (b.y - a.y) * (x - a.x) &&
                                    std::min(a.x, b.x) <= x && x <= std::max(a.x, b.x) &&
                                    std::min(a.y, b.y) <= y && y <= std::max(a.y, b.y));
                if ((a.y > y) != (b.y > y) &&
                    x < a.x + double(y - a.y) * (b.x - a.x) / (b.y - a.y)) {
                    inside = !inside;
                }
            }
            if (inside || onEdge) {
                pixels.insert({x, y});
            }
        }
    }
    return pixels;
}

// Straight and diagonal edges: the lit shape is exactly the closed polygon, in either direction,
// and the outline is the pen's.
TEST(CanvasPolygon, LightsExactlyTheClosedShape) {
    const Polygon shapes[] = {
        {{5, 0}, {10, 5}, {5, 10}, {0, 5}},
        {{4, 1}, {7, 1}, {10, 4}, {10, 7}, {7, 10}, {4, 10}, {1, 7}, {1, 4}},
        {{1, 2}, {17, 2}, {11, 8}, {7, 8}},
        {{2, 1}, {2, 17}, {6, 13}, {6, 5}},
        {{0, 0}, {12, 0}, {12, 12}, {6, 6}, {0, 12}},
    };
    for (const Polygon& shape : shapes) {
        Polygon reversed(shape.rbegin(), shape.rend());
        for (const Polygon& polygon : {shape, reversed}) {
            QImage image = WhiteImage(20, 20);
            Canvas canvas(image);
            canvas.SetPen(kRedRef);
            canvas.SetBrush(kBlueRef);
            canvas.FilledPolygon(polygon);
            EXPECT_EQ(Drawn(image), InsideOrOn(polygon, 20, 20)) << "from " << polygon[0].x;
            for (const Point v : polygon) {
                EXPECT_EQ(image.pixel(v.x, v.y), kRed);
            }
        }
    }
}

// Other slopes: the shape covers its interior and vertices and stays within their bounds.
TEST(CanvasPolygon, CoversTheShapeForOtherSlopes) {
    const Polygon shapes[] = {{{2, 8}, {7, 3}, {25, 3}, {30, 8}, {25, 12}, {7, 12}},
                              {{1, 1}, {20, 4}, {9, 15}}};
    for (const Polygon& polygon : shapes) {
        QImage image = WhiteImage(32, 20);
        Canvas canvas(image);
        canvas.SetPen(kRedRef);
        canvas.SetBrush(kRedRef);
        canvas.FilledPolygon(polygon);
        const PixelSet lit = Drawn(image);
        const PixelSet must = InsideOrOn(polygon, 32, 20);
        EXPECT_TRUE(std::includes(lit.begin(), lit.end(), must.begin(), must.end()));
        EXPECT_EQ(*lit.begin(), *must.begin());    // leftmost column
        EXPECT_EQ(*lit.rbegin(), *must.rbegin());  // rightmost column
    }
}

TEST(CanvasLabel, DrawsOpaqueTwoColourTextFromItsTopLeftCorner) {
    QImage image = WhiteImage(60, 30);
    Canvas canvas(image);
    canvas.SetTextColor(kRedRef);
    canvas.SetBkColor(kBlueRef);
    canvas.Label(5, 4, "");
    EXPECT_TRUE(Drawn(image).empty());
    canvas.Label(5, 4, "kg");
    const PixelSet cell = Drawn(image);
    QRect bounds;
    for (const auto& [x, y] : cell) {
        bounds |= QRect(x, y, 1, 1);
    }
    EXPECT_EQ(bounds.topLeft(), QPoint(5, 4));
    EXPECT_GT(bounds.height(), 6);
    // Opaque and not antialiased: the whole cell in exactly two colours.
    EXPECT_EQ(cell.size(), static_cast<std::size_t>(bounds.width() * bounds.height()));
    EXPECT_GT(PixelsOf(image, kRed).size(), 10u);
    EXPECT_EQ(PixelsOf(image, kRed).size() + PixelsOf(image, kBlue).size(), cell.size());
}

QImage Pattern(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, qRgb(x * 10, y * 10, 7));
        }
    }
    return image;
}

// A clipped copy by definition: a target pixel in the block takes the source pixel at the same
// offset, when there is one.
QImage ExpectedCopy(const QImage& target, const QImage& source, long long dx, long long dy,
                    long long w, long long h, long long sx, long long sy) {
    QImage expected = target.copy();
    for (int y = 0; y < target.height(); ++y) {
        for (int x = 0; x < target.width(); ++x) {
            const long long u = sx + x - dx;
            const long long v = sy + y - dy;
            if (x >= dx && x < dx + w && y >= dy && y < dy + h && u >= 0 && v >= 0 &&
                u < source.width() && v < source.height()) {
                expected.setPixel(x, y, source.pixel(int(u), int(v)));
            }
        }
    }
    return expected;
}

TEST(CanvasCopy, CopiesTheBlockClippedToBothImages) {
    const int cases[][6] = {
        {2, 3, 4, 5, 1, 1},
        {-2, -2, 5, 5, 0, 0},
        {3, 3, 100, 100, 0, 0},
        {0, 0, 5, 5, -3, -2},
        {6, 6, 5, 5, 8, 8},
        {1, 1, -4, 4, 0, 0},
        {0, 0, 8, 8, 10, 0},
        {INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0, 0},
        {-5, 0, INT_MAX, 3, INT_MAX, 0},
        {0, 0, INT_MAX, INT_MAX, INT_MIN, INT_MIN},
    };
    const QImage source = Pattern(10, 10);
    for (const auto& c : cases) {
        QImage image = WhiteImage(8, 8);
        const QImage expected = ExpectedCopy(image, source, c[0], c[1], c[2], c[3], c[4], c[5]);
        Canvas canvas(image);
        canvas.CopyFrom(c[0], c[1], c[2], c[3], source, c[4], c[5]);
        EXPECT_EQ(image, expected) << c[0] << "," << c[1] << " " << c[2] << "x" << c[3];
    }
}

TEST(CanvasCopy, OverlappingCopyWithinOneImageMovesTheOriginalPixels) {
    for (const auto& s : {std::array{1, 1, 0, 0}, {0, 0, 1, 1}, {2, 0, 0, 0}, {0, 0, 0, 3}}) {
        QImage image = Pattern(10, 10);
        const QImage before = image.copy();
        Canvas canvas(image);
        canvas.CopyFrom(s[0], s[1], 8, 7, image, s[2], s[3]);
        EXPECT_EQ(image, ExpectedCopy(before, before, s[0], s[1], 8, 7, s[2], s[3]))
            << s[0] << "," << s[1] << " from " << s[2] << "," << s[3];
    }
}

}  // namespace
}  // namespace canvas::test
