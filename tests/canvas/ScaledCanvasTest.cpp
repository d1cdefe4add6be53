// Drawing at device pixel ratios other than 1, against the same drawing at 1.

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/canvas/Canvas.h"
#include "tests/canvas/CanvasSupport.h"

namespace canvas::test {
namespace {

using Draw = std::function<void(Canvas&)>;

constexpr int kSide = 16;

QImage DrawnAt(double ratio, const Draw& draw) {
    QImage image = WhiteImage(static_cast<int>(std::ceil(kSide * ratio)),
                              static_cast<int>(std::ceil(kSide * ratio)));
    image.setDevicePixelRatio(ratio);
    Canvas canvas(image);
    canvas.SetPen(kRedRef);
    canvas.SetBrush(kBlueRef);
    draw(canvas);
    return image;
}

// The 1x image with every pixel made n x n.
QImage Enlarged(const QImage& image, int n) {
    return image.scaled(image.size() * n, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

bool SamePixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return false;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y))
                return false;
        }
    }
    return true;
}

// True when some aligned n x n block holds two colours, so the image is no enlargement.
bool HasMixedBlock(const QImage& image, int n) {
    for (int y = 0; y + n <= image.height(); y += n) {
        for (int x = 0; x + n <= image.width(); x += n) {
            for (int k = 0; k < n * n; ++k) {
                if (image.pixel(x + k % n, y + k / n) != image.pixel(x, y))
                    return true;
            }
        }
    }
    return false;
}

const struct {
    const char* name;
    Draw draw;
} kLineAndBoxCases[] = {
    {"horizontal", [](Canvas& c) { c.Line(2, 3, 11, 3); }},
    {"leftwards", [](Canvas& c) { c.Line(11, 5, 2, 5); }},
    {"vertical", [](Canvas& c) { c.Line(4, 12, 4, 1); }},
    {"diagonal", [](Canvas& c) { c.Line(1, 1, 9, 9); }},
    {"anti-diagonal", [](Canvas& c) { c.Line(12, 2, 4, 10); }},
    {"other slope", [](Canvas& c) { c.Line(1, 2, 14, 7); }},
    {"chain",
     [](Canvas& c) {
         c.MoveTo(2, 2);
         c.LineTo(8, 2);
         c.LineTo(8, 9);
         c.LineTo(2, 3);
     }},
    {"past the edges", [](Canvas& c) { c.Line(-5, 7, 30, 7); }},
    {"diagonal from outside", [](Canvas& c) { c.Line(-3, -3, 5, 5); }},
    {"thin boxes",
     [](Canvas& c) {
         c.Box(1, 1, 2, 9);
         c.Box(3, 1, 9, 2);
     }},
    {"box with pen and brush", [](Canvas& c) { c.Box(2, 3, 9, 8); }},
    {"box past the edges", [](Canvas& c) { c.Box(-2, -2, 4, 20); }},
    {"solid rectangle", [](Canvas& c) { c.FillSolidRect(3, 4, 10, 6, kBlueRef); }},
};

TEST(CanvasScaled, LinesAndBoxesCoverExactlyTheirScaledPixelsAtIntegralRatios) {
    for (const int n : {2, 3}) {
        for (const auto& c : kLineAndBoxCases) {
            const QImage once = DrawnAt(1, c.draw);
            EXPECT_TRUE(SamePixels(DrawnAt(n, c.draw), Enlarged(once, n))) << c.name << " at " << n;
        }
    }
}

TEST(CanvasScaled, PolygonsKeepTheirPixelsAndDrawSlantedEdgesAtFullResolution) {
    const Point octagon[] = {{5, 1}, {8, 1}, {11, 4}, {11, 7}, {8, 10}, {5, 10}, {2, 7}, {2, 4}};
    const Point rectangle[] = {{2, 3}, {12, 3}, {12, 9}, {2, 9}};
    const Draw drawOctagon = [&](Canvas& c) { c.FilledPolygon(octagon); };
    const Draw drawRectangle = [&](Canvas& c) { c.FilledPolygon(rectangle); };
    for (const int n : {2, 3}) {
        const PixelSet once = Drawn(Enlarged(DrawnAt(1, drawOctagon), n));
        const QImage scaled = DrawnAt(n, drawOctagon);
        const PixelSet drawn = Drawn(scaled);
        for (const auto& p : once)
            EXPECT_TRUE(drawn.count(p)) << "lost " << p.first << "," << p.second << " at " << n;
        for (const auto& [x, y] : drawn) {
            bool near = false;
            for (int k = 0; k < 9; ++k)
                near = near || once.count({x + k % 3 - 1, y + k / 3 - 1});
            EXPECT_TRUE(near) << "stray " << x << "," << y << " at " << n;
        }
        EXPECT_TRUE(HasMixedBlock(scaled, n)) << "slanted edges are enlarged blocks at " << n;
        // With no slanted edge, the polygon is its 1x pixels scaled, outline and fill alike.
        EXPECT_TRUE(SamePixels(DrawnAt(n, drawRectangle), Enlarged(DrawnAt(1, drawRectangle), n)));
    }
}

TEST(CanvasScaled, FractionalRatiosDrawEveryLineEquallyThickAndKeepGaps) {
    for (const double ratio : {1.25, 1.5, 1.75}) {
        const int thickness = std::max(1, static_cast<int>(std::floor(ratio + 0.5)));
        for (int at = 0; at < 12; ++at) {
            const QImage across = DrawnAt(ratio, [at](Canvas& c) { c.Line(1, at, 9, at); });
            const QImage down = DrawnAt(ratio, [at](Canvas& c) { c.Line(at, 1, at, 12); });
            int rows = 0;
            for (int row = 0; row < across.height(); ++row)
                rows += across.pixel(3, row) == kRed;
            int columns = 0;
            for (int column = 0; column < down.width(); ++column)
                columns += down.pixel(column, 8) == kRed;
            EXPECT_EQ(rows, thickness) << "row " << at << " at " << ratio;
            EXPECT_EQ(columns, thickness) << "column " << at << " at " << ratio;
        }
        // Lines two rows apart stay apart.
        const QImage apart = DrawnAt(ratio, [](Canvas& c) {
            for (int y = 0; y < 14; y += 2)
                c.Line(1, y, 9, y);
        });
        int runs = 0;
        for (int row = 0; row < apart.height(); ++row)
            runs += apart.pixel(3, row) == kRed && (row == 0 || apart.pixel(3, row - 1) != kRed);
        EXPECT_EQ(runs, 7) << ratio;
    }
}

TEST(CanvasScaled, LabelsAreRenderedAtTheImageResolution) {
    const Draw label = [](Canvas& c) { c.Label(1, 1, "kg"); };
    const QImage once = DrawnAt(1, label);
    const QImage twice = DrawnAt(2, label);
    ASSERT_FALSE(Drawn(once).empty());
    EXPECT_TRUE(HasMixedBlock(twice, 2)) << "the text is an enlargement of the 1x text";
    EXPECT_GT(Drawn(twice).size(), 3 * Drawn(once).size()) << "the text is twice as large";
}

}  // namespace
}  // namespace canvas::test
