#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "PixelSet.h"
#include "canvas/Canvas.h"

namespace canvas::test {
namespace {

struct LineCase {
    int x1, y1, x2, y2;
    PixelSet expected;
};

TEST(CanvasLine, LightsTheStartButNotTheEnd) {
    const LineCase cases[] = {
        {5, 18, 9, 18, {{5, 18}, {6, 18}, {7, 18}, {8, 18}}},
        {9, 18, 5, 18, {{9, 18}, {8, 18}, {7, 18}, {6, 18}}},
        {3, 1, 3, 5, {{3, 1}, {3, 2}, {3, 3}, {3, 4}}},
        {3, 5, 3, 1, {{3, 5}, {3, 4}, {3, 3}, {3, 2}}},
        {1, 1, 4, 4, {{1, 1}, {2, 2}, {3, 3}}},
        {4, 4, 1, 1, {{4, 4}, {3, 3}, {2, 2}}},
        {1, 4, 4, 1, {{1, 4}, {2, 3}, {3, 2}}},
        {4, 1, 1, 4, {{4, 1}, {3, 2}, {2, 3}}},
        {2, 2, 3, 2, {{2, 2}}},
        {2, 2, 2, 2, {}},
    };
    for (const LineCase& c : cases) {
        QImage image = WhiteImage(12, 24);
        Canvas canvas(image);
        canvas.SetPen(kRedRef);
        canvas.Line(c.x1, c.y1, c.x2, c.y2);
        EXPECT_EQ(NotOf(image, kWhite), c.expected)
            << "(" << c.x1 << "," << c.y1 << ")->(" << c.x2 << "," << c.y2 << ")";
        EXPECT_EQ(PixelsOf(image, kRed), c.expected);
    }
}

TEST(CanvasLine, ChainLeavesOnlyItsLastPointUndrawn) {
    QImage image = WhiteImage(8, 8);
    Canvas canvas(image);
    canvas.SetPen(kRedRef);
    canvas.MoveTo(1, 1);
    canvas.LineTo(4, 1);
    canvas.LineTo(4, 4);
    canvas.LineTo(2, 6);
    EXPECT_EQ(PixelsOf(image, kRed),
              (PixelSet{{1, 1}, {2, 1}, {3, 1}, {4, 1}, {4, 2}, {4, 3}, {4, 4}, {3, 5}}));

    // Line leaves its end as the current position.
    QImage second = WhiteImage(8, 8);
    Canvas other(second);
    other.SetPen(kRedRef);
    other.Line(0, 0, 3, 0);
    other.LineTo(3, 3);
    EXPECT_EQ(PixelsOf(second, kRed), (PixelSet{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {3, 1}, {3, 2}}));
}

TEST(CanvasLine, ClosedChainLightsEveryCorner) {
    QImage image = WhiteImage(8, 8);
    Canvas canvas(image);
    canvas.SetPen(kRedRef);
    canvas.MoveTo(1, 1);
    for (const Point p : {Point{5, 1}, Point{5, 5}, Point{1, 5}, Point{1, 1}}) {
        canvas.LineTo(p.x, p.y);
    }
    PixelSet perimeter;
    for (int i = 1; i <= 5; ++i) {
        perimeter.insert({i, 1});
        perimeter.insert({i, 5});
        perimeter.insert({1, i});
        perimeter.insert({5, i});
    }
    EXPECT_EQ(PixelsOf(image, kRed), perimeter);
}

// Other slopes: one pixel per step of the longer axis, each within half a pixel of the exact
// line, the end point excluded.
TEST(CanvasLine, OtherSlopesStepAlongTheLongerAxis) {
    const int ends[][2] = {{7, 3}, {-7, 3}, {2, 5}, {-3, -8}, {9, -4}};
    for (const auto& end : ends) {
        const int dx = end[0];
        const int dy = end[1];
        QImage image = WhiteImage(40, 40);
        Canvas canvas(image);
        canvas.SetPen(kRedRef);
        canvas.Line(20, 20, 20 + dx, 20 + dy);
        const PixelSet lit = PixelsOf(image, kRed);
        const int steps = std::max(std::abs(dx), std::abs(dy));
        ASSERT_EQ(static_cast<int>(lit.size()), steps) << dx << "," << dy;
        EXPECT_TRUE(lit.contains({20, 20}));
        EXPECT_FALSE(lit.contains({20 + dx, 20 + dy}));
        for (const auto& [x, y] : lit) {
            // Distance along the minor axis from the exact line through the two points.
            const double t =
                std::abs(dx) >= std::abs(dy) ? double(x - 20) / dx : double(y - 20) / dy;
            EXPECT_GE(t, 0.0);
            EXPECT_LT(t, 1.0);
            const double minorError = std::abs(dx) >= std::abs(dy) ? std::abs(20 + t * dy - y)
                                                                   : std::abs(20 + t * dx - x);
            EXPECT_LE(minorError, 0.5) << "pixel " << x << "," << y;
        }
    }
}

TEST(CanvasBox, CoversLeftTopButNotRightBottom) {
    struct BoxCase {
        int l, t, r, b;
    };
    const BoxCase cases[] = {
        {2, 3, 6, 5}, {4, 4, 5, 5}, {0, 0, 10, 1}, {1, 1, 9, 9}, {3, 0, 5, 10}};
    for (const BoxCase& c : cases) {
        QImage image = WhiteImage(10, 10);
        Canvas canvas(image);
        canvas.SetPen(kRedRef);
        canvas.SetBrush(kRedRef);
        canvas.Box(c.l, c.t, c.r, c.b);
        PixelSet expected;
        for (int y = c.t; y < c.b; ++y) {
            for (int x = c.l; x < c.r; ++x) {
                expected.insert({x, y});
            }
        }
        EXPECT_EQ(NotOf(image, kWhite), expected) << c.l << "," << c.t << "," << c.r << "," << c.b;
    }
}

TEST(CanvasBox, OutlinesWithThePenAndFillsWithTheBrush) {
    QImage image = WhiteImage(8, 8);
    Canvas canvas(image);
    canvas.SetPen(kRedRef);
    canvas.SetBrush(kBlueRef);
    canvas.Box(1, 1, 6, 6);
    PixelSet outline;
    PixelSet inside;
    for (int y = 1; y <= 5; ++y) {
        for (int x = 1; x <= 5; ++x) {
            (x == 1 || x == 5 || y == 1 || y == 5 ? outline : inside).insert({x, y});
        }
    }
    EXPECT_EQ(PixelsOf(image, kRed), outline);
    EXPECT_EQ(PixelsOf(image, kBlue), inside);
}

TEST(CanvasBox, EmptyOrReversedBoxesDrawNothing) {
    QImage image = WhiteImage(8, 8);
    Canvas canvas(image);
    canvas.SetPen(kRedRef);
    canvas.Box(3, 3, 3, 7);
    canvas.Box(3, 3, 7, 3);
    canvas.Box(6, 6, 2, 2);
    canvas.FillSolidRect(5, 1, 1, 4, kRedRef);
    EXPECT_TRUE(NotOf(image, kWhite).empty());
}

TEST(CanvasColor, TakesRedFromTheLowByteAndIgnoresTheHighByte) {
    QImage image = WhiteImage(4, 1);
    Canvas canvas(image);
    canvas.SetPen(0x00112233);
    canvas.Line(0, 0, 1, 0);
    canvas.SetPen(0xFF0000FF);
    canvas.Line(1, 0, 2, 0);
    canvas.FillSolidRect(2, 0, 3, 1, 0x01FF0000);
    EXPECT_EQ(image.pixel(0, 0), qRgb(0x33, 0x22, 0x11));
    EXPECT_EQ(image.pixel(1, 0), qRgb(0xFF, 0, 0));
    EXPECT_EQ(image.pixel(2, 0), qRgb(0, 0, 0xFF));
    EXPECT_EQ(image.pixel(3, 0), kWhite);
}

TEST(CanvasImage, ConvertsAnImageOfAnotherFormat) {
    QImage image(6, 6, QImage::Format_RGB888);
    image.fill(Qt::white);
    Canvas canvas(image);
    canvas.SetPen(kRedRef);
    canvas.Line(1, 1, 4, 1);
    EXPECT_EQ(image.format(), QImage::Format_RGB32);
    EXPECT_EQ(PixelsOf(image, kRed), (PixelSet{{1, 1}, {2, 1}, {3, 1}}));
}

}  // namespace
}  // namespace canvas::test
