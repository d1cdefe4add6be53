// Each element rendered alone lights the pixels its rows describe, and lies where the picture
// puts it. Expected pixels come from the row data by the plain rules, not from the canvas.

#include <gtest/gtest.h>

#include "display/paint/SegmentTables.h"
#include "tests/display_paint/PaintSupport.h"

namespace lumeq::test {
namespace {

// Integer points from the start towards the end, the end excluded. Lines in the picture are
// horizontal, vertical or diagonal.
void AddLine(PixelSet* to, int x1, int y1, int x2, int y2) {
    const int dx = x2 - x1;
    const int dy = y2 - y1;
    ASSERT_TRUE(dx == 0 || dy == 0 || std::abs(dx) == std::abs(dy)) << x1 << "," << y1;
    for (int i = 0; i < std::max(std::abs(dx), std::abs(dy)); ++i) {
        to->insert({x1 + i * ((dx > 0) - (dx < 0)), y1 + i * ((dy > 0) - (dy < 0))});
    }
}

void AddBox(PixelSet* to, int left, int top, int right, int bottom) {
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            to->insert({x, y});
        }
    }
}

TEST(Elements, SignGlyphsLegendAndBarsLightExactlyTheirRows) {
    struct Case {
        int slot, bit;
        Bounds place;  // where the picture puts the element
        PixelSet expected;
    };
    std::vector<Case> cases;
    const Bounds glyphPlace[6] = {{33, 57, 22, 35}, {33, 56, 38, 50}, {33, 57, 54, 61},
                                  {33, 57, 64, 77}, {34, 57, 80, 94}, {33, 52, 2, 19}};
    for (const tables::GlyphRow& glyph : tables::kSignGlyphs) {
        Case c{kSign, glyph.bit, glyphPlace[glyph.bit], {}};
        for (std::size_t i = 0; i + 1 < glyph.chain.size(); ++i) {
            AddLine(&c.expected, glyph.chain[i].x, glyph.chain[i].y, glyph.chain[i + 1].x,
                    glyph.chain[i + 1].y);
        }
        for (const tables::LineRow& l : glyph.lines) {
            AddLine(&c.expected, l.x1, l.y1, l.x2, l.y2);
        }
        cases.push_back(c);
    }
    Case legend{kWm, tables::kLegendBit, {4, 28, 18, 33}, {}};
    for (const tables::LegendRow& r : tables::kLegend) {
        (r.kind == tables::LegendRow::kLine ? AddLine : AddBox)(&legend.expected, r.a, r.b, r.c,
                                                                r.d);
    }
    cases.push_back(legend);
    // Bars: x 4..28, 13, 11, 9, 7, 5 and 3 rows from y 36 down with one-row gaps.
    int top = 36;
    for (const tables::BarRow& bar : tables::kWmBars) {
        const int rows = 2 * bar.bit + 1;
        Case c{kWm, bar.bit, {4, 28, top, top + rows - 1}, {}};
        AddBox(&c.expected, bar.box.left, bar.box.top, bar.box.right, bar.box.bottom);
        cases.push_back(c);
        top += rows + 2;
    }
    for (const Case& c : cases) {
        const PixelSet lit = Lit(Render(WithBit(c.slot, c.bit)));
        EXPECT_EQ(lit, c.expected) << "slot " << c.slot << " bit " << c.bit;
        EXPECT_EQ(BoundsOf(lit), c.place) << "slot " << c.slot << " bit " << c.bit;
    }
}

// Integer points on the inner side of every edge of a convex polygon, shifted right by dx.
PixelSet ConvexInsideOrOn(std::span<const canvas::Point> v, int dx) {
    PixelSet pixels;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            bool positive = false;
            bool negative = false;
            for (std::size_t i = 0; i < v.size(); ++i) {
                const canvas::Point a = v[i];
                const canvas::Point b = v[(i + 1) % v.size()];
                const int cross = (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
                positive = positive || cross > 0;
                negative = negative || cross < 0;
            }
            if (!(positive && negative)) {
                pixels.insert({x + dx, y});
            }
        }
    }
    return pixels;
}

TEST(Elements, DigitSegmentsCoverTheirPolygonsWithinTheirVertexBounds) {
    // Where the picture puts a whole cell, its point and its middle segment, relative to X0.
    const Bounds eight{0, 45, 22, 94}, point{36, 45, 85, 94}, middle{2, 30, 53, 62};
    for (int cell = 0; cell < tables::kCellCount; ++cell) {
        const int x0 = 62 + 49 * cell;
        const auto at = [x0](Bounds b) {
            return Bounds{x0 + b.left, x0 + b.right, b.top, b.bottom};
        };
        PixelSet all;
        for (const tables::SegmentRow& segment : tables::kSegments) {
            const PixelSet lit = Lit(Render(WithBit(kHex1 + cell, segment.bit)));
            const PixelSet inside = ConvexInsideOrOn(segment.Vertices(), x0);
            EXPECT_TRUE(std::includes(lit.begin(), lit.end(), inside.begin(), inside.end()))
                << "cell " << cell + 1 << " bit " << segment.bit;
            // Vertices are inside, so equal bounds mean nothing spills past them.
            EXPECT_EQ(BoundsOf(lit), BoundsOf(inside))
                << "cell " << cell + 1 << " bit " << segment.bit;
            all.insert(lit.begin(), lit.end());
        }
        EXPECT_EQ(BoundsOf(all), at(eight)) << "cell " << cell + 1;
        EXPECT_EQ(BoundsOf(Lit(Render(WithBit(kHex1 + cell, 7)))), at(point))
            << "cell " << cell + 1;
        EXPECT_EQ(BoundsOf(Lit(Render(WithBit(kHex1 + cell, 6)))), at(middle))
            << "cell " << cell + 1;
    }
}

TEST(Elements, UnitLabelsShowTextOnlyInTheirOwnPlace) {
    for (std::size_t i = 0; i < tables::kUnitLabels.size(); ++i) {
        const tables::LabelRow& label = tables::kUnitLabels[i];
        // A label's place runs to the next label, or to the right edge.
        const int end = i + 1 < tables::kUnitLabels.size() ? tables::kUnitLabels[i + 1].x : kWidth;
        const Bounds b = BoundsOf(Lit(Render(WithBit(kUnit, label.bit))));
        EXPECT_TRUE(b.left >= label.x && b.left <= label.x + 3 && b.right < end)
            << label.text << " " << b;
        EXPECT_TRUE(b.top >= 2 && b.bottom < 22) << label.text << " " << b;
    }
}

}  // namespace
}  // namespace lumeq::test
