#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "PixelSet.h"
#include "canvas/Canvas.h"

namespace canvas::test {
namespace {

using Polygon = std::vector<Point>;

bool OnEdge(Point a, Point b, int x, int y) {
    const long long cross = static_cast<long long>(b.x - a.x) * (y - a.y) -
                            static_cast<long long>(b.y - a.y) * (x - a.x);
    return cross == 0 && std::min(a.x, b.x) <= x && x <= std::max(a.x, b.x) &&
           std::min(a.y, b.y) <= y && y <= std::max(a.y, b.y);
}

// Every integer point inside the closed chain or on it, by ray crossing.
PixelSet InsideOrOn(const Polygon& polygon, int width, int height) {
    PixelSet pixels;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            bool inside = false;
            bool edge = false;
            for (std::size_t i = 0; i < polygon.size(); ++i) {
                const Point a = polygon[i];
                const Point b = polygon[(i + 1) % polygon.size()];
                edge = edge || OnEdge(a, b, x, y);
                if ((a.y > y) != (b.y > y) &&
                    x < a.x + double(y - a.y) * (b.x - a.x) / double(b.y - a.y)) {
                    inside = !inside;
                }
            }
            if (inside || edge) {
                pixels.insert({x, y});
            }
        }
    }
    return pixels;
}

QImage Filled(const Polygon& polygon, int width, int height) {
    QImage image = WhiteImage(width, height);
    Canvas canvas(image);
    canvas.SetPen(kRedRef);
    canvas.SetBrush(kRedRef);
    canvas.FilledPolygon(polygon);
    return image;
}

Polygon Reversed(Polygon polygon) {
    std::reverse(polygon.begin(), polygon.end());
    return polygon;
}

// With edges that are horizontal, vertical or 45 degrees, the lit shape is exactly the closed
// polygon: no gap along an edge, nothing outside.
TEST(CanvasPolygon, LightsExactlyTheClosedShapeWhenEdgesAreStraightOrDiagonal) {
    const Polygon shapes[] = {
        {{5, 0}, {10, 5}, {5, 10}, {0, 5}},                                    // diamond
        {{4, 1}, {7, 1}, {10, 4}, {10, 7}, {7, 10}, {4, 10}, {1, 7}, {1, 4}},  // octagon
        {{1, 2}, {17, 2}, {11, 8}, {7, 8}},                                    // trapezoid
        {{2, 1}, {2, 17}, {6, 13}, {6, 5}},                                    // side bar
        {{0, 0}, {12, 0}, {12, 12}, {6, 6}, {0, 12}},                          // notched
        {{1, 1}, {6, 1}, {6, 6}, {1, 6}},                                      // square
    };
    for (const Polygon& shape : shapes) {
        for (const Polygon& polygon : {shape, Reversed(shape)}) {
            const QImage image = Filled(polygon, 20, 20);
            EXPECT_EQ(NotOf(image, kWhite), InsideOrOn(polygon, 20, 20))
                << "first vertex " << polygon[0].x << "," << polygon[0].y;
        }
    }
}

// Other slopes leave the exact edge pixels to the rasteriser; the shape must still cover its
// interior and vertices and stay within its vertices' bounds.
TEST(CanvasPolygon, CoversInteriorAndVerticesForOtherSlopes) {
    const Polygon shapes[] = {
        {{2, 8}, {7, 3}, {25, 3}, {30, 8}, {25, 12}, {7, 12}},
        {{1, 1}, {20, 4}, {9, 15}},
    };
    for (const Polygon& polygon : shapes) {
        const QImage image = Filled(polygon, 32, 20);
        const PixelSet lit = NotOf(image, kWhite);
        const PixelSet must = InsideOrOn(polygon, 32, 20);
        EXPECT_TRUE(std::includes(lit.begin(), lit.end(), must.begin(), must.end()));
        for (const Point v : polygon) {
            EXPECT_TRUE(lit.contains({v.x, v.y}));
        }
        const auto [minX, maxX] = std::minmax_element(polygon.begin(), polygon.end(),
                                                      [](Point a, Point b) { return a.x < b.x; });
        const auto [minY, maxY] = std::minmax_element(polygon.begin(), polygon.end(),
                                                      [](Point a, Point b) { return a.y < b.y; });
        for (const auto& [x, y] : lit) {
            EXPECT_TRUE(x >= minX->x && x <= maxX->x && y >= minY->y && y <= maxY->y)
                << x << "," << y;
        }
    }
}

TEST(CanvasPolygon, OutlinesWithThePenOverTheBrush) {
    QImage image = WhiteImage(10, 10);
    Canvas canvas(image);
    canvas.SetPen(kRedRef);
    canvas.SetBrush(kBlueRef);
    const Polygon diamond = {{5, 1}, {8, 4}, {5, 7}, {2, 4}};
    canvas.FilledPolygon(diamond);
    EXPECT_EQ(PixelsOf(image, kBlue), (PixelSet{{5, 2},
                                                {4, 3},
                                                {5, 3},
                                                {6, 3},
                                                {3, 4},
                                                {4, 4},
                                                {5, 4},
                                                {6, 4},
                                                {7, 4},
                                                {4, 5},
                                                {5, 5},
                                                {6, 5},
                                                {5, 6}}));
    for (const Point v : diamond) {
        EXPECT_EQ(image.pixel(v.x, v.y), kRed);
    }
}

TEST(CanvasPolygon, KeepsTheCurrentPositionAndNeedsTwoPoints) {
    QImage image = WhiteImage(10, 10);
    Canvas canvas(image);
    canvas.SetPen(kRedRef);
    canvas.MoveTo(0, 0);
    const Polygon one = {{7, 7}};
    canvas.FilledPolygon(one);
    canvas.FilledPolygon({});
    EXPECT_TRUE(NotOf(image, kWhite).empty());

    const Polygon two = {{5, 5}, {8, 5}};
    canvas.FilledPolygon(two);
    canvas.LineTo(3, 0);
    EXPECT_EQ(NotOf(image, kWhite),
              (PixelSet{{5, 5}, {6, 5}, {7, 5}, {8, 5}, {0, 0}, {1, 0}, {2, 0}}));
}

}  // namespace
}  // namespace canvas::test
