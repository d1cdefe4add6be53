// Each element rendered alone lights the pixels its rows describe, and lies where the picture's
// description puts it.

#include <gtest/gtest.h>

#include <algorithm>

#include "PaintSupport.h"
#include "display/paint/SegmentTables.h"

namespace lumeq::test {
namespace {

constexpr int kWm = 0;
constexpr int kSign = 1;
constexpr int kUnit = 2;
constexpr int kHex1 = 3;

bool Contains(const PixelSet& outer, const PixelSet& inner) {
    return std::includes(outer.begin(), outer.end(), inner.begin(), inner.end());
}

TEST(SignGlyphs, EachLightsExactlyItsLinesWithinItsPlace) {
    // Where each glyph sits in the Sign column, inclusive.
    const Bounds placeOfBit[6] = {
        {33, 57, 22, 35}, {33, 56, 38, 50}, {33, 57, 54, 61},
        {33, 57, 64, 77}, {34, 57, 80, 94}, {33, 52, 2, 19},
    };
    const std::size_t lineCountOfBit[6] = {20, 29, 8, 13, 6, 6};
    for (const tables::GlyphRow& glyph : tables::kSignGlyphs) {
        PixelSet expected;
        for (std::size_t i = 0; i + 1 < glyph.chain.size(); ++i) {
            Add(&expected, LinePixels(glyph.chain[i].x, glyph.chain[i].y, glyph.chain[i + 1].x,
                                      glyph.chain[i + 1].y));
        }
        for (const tables::LineRow& line : glyph.lines) {
            Add(&expected, LinePixels(line.x1, line.y1, line.x2, line.y2));
        }
        const PixelSet lit = Lit(Render(WithBit(kSign, glyph.bit)));
        EXPECT_EQ(lit, expected) << "Sign bit " << glyph.bit;
        EXPECT_EQ(BoundsOf(lit), placeOfBit[glyph.bit]) << "Sign bit " << glyph.bit;
        EXPECT_EQ(glyph.lines.size(), lineCountOfBit[glyph.bit]) << "Sign bit " << glyph.bit;
    }
    // The battery's outline is one closed chain of twelve lines.
    EXPECT_EQ(tables::kSignGlyphs[4].chain.size(), 13u);
    EXPECT_EQ(tables::kSignGlyphs[4].chain.front(), tables::kSignGlyphs[4].chain.back());
}

TEST(Legend, LightsExactlyItsLinesAndBoxesAboveTheBars) {
    PixelSet expected;
    for (const tables::LegendRow& row : tables::kLegend) {
        Add(&expected, row.kind == tables::LegendRow::kLine
                           ? LinePixels(row.a, row.b, row.c, row.d)
                           : BoxPixels(row.a, row.b, row.c, row.d));
        if (row.kind == tables::LegendRow::kBox) {
            EXPECT_LE(row.d - row.b, 2) << "a legend box is drawn by the pen alone";
        }
    }
    const PixelSet lit = Lit(Render(WithBit(kWm, 7)));
    EXPECT_EQ(lit, expected);
    EXPECT_EQ(BoundsOf(lit), (Bounds{4, 28, 18, 33}));
    // The first stroke of "o": x 5..8 on row 18.
    EXPECT_TRUE(Contains(lit, {{5, 18}, {6, 18}, {7, 18}, {8, 18}}));
    EXPECT_FALSE(lit.contains({9, 18}));
}

TEST(WmBars, EachLightsExactlyItsBoxThinnerDownwards) {
    const int rowsOfBit[7] = {0, 3, 5, 7, 9, 11, 13};
    int previousBottom = 33;
    for (const tables::BarRow& bar : tables::kWmBars) {
        const PixelSet lit = Lit(Render(WithBit(kWm, bar.bit)));
        EXPECT_EQ(lit, BoxPixels(bar.box.left, bar.box.top, bar.box.right, bar.box.bottom))
            << "WM bit " << bar.bit;
        const Bounds b = BoundsOf(lit);
        EXPECT_EQ(b.left, 4);
        EXPECT_EQ(b.right, 28);
        EXPECT_EQ(b.bottom - b.top + 1, rowsOfBit[bar.bit]) << "WM bit " << bar.bit;
        EXPECT_GT(b.top, previousBottom + 1) << "bars are stacked with a gap";
        previousBottom = b.bottom;
    }
    EXPECT_TRUE(Lit(Render(WithBit(kWm, 0))).empty());
}

TEST(DigitSegments, EachCoversItsPolygonWithinItsVertexBounds) {
    for (int cell = 0; cell < tables::kCellCount; ++cell) {
        const int x0 = 62 + 49 * cell;
        for (const tables::SegmentRow& segment : tables::kSegments) {
            const auto vertices = segment.Vertices();
            const PixelSet lit = Lit(Render(WithBit(kHex1 + cell, segment.bit)));
            const PixelSet inside = ConvexInsideOrOn(vertices, x0);
            EXPECT_TRUE(Contains(lit, inside)) << "cell " << cell + 1 << " bit " << segment.bit;
            const Bounds vertexBounds = BoundsOf(inside);
            EXPECT_EQ(BoundsOf(lit), vertexBounds) << "cell " << cell + 1 << " bit " << segment.bit;
            for (const canvas::Point v : vertices) {
                EXPECT_TRUE(lit.contains({x0 + v.x, v.y}));
            }
        }
    }
}

TEST(DigitSegments, CellsSitFortyNinePixelsApart) {
    for (int cell = 0; cell < tables::kCellCount; ++cell) {
        const int x0 = 62 + 49 * cell;
        DisplayState eight = Blank();
        Slot(eight, kHex1 + cell) = 0xFF;
        EXPECT_EQ(BoundsOf(Lit(Render(eight))), (Bounds{x0, x0 + 45, 22, 94}))
            << "cell " << cell + 1;
        EXPECT_EQ(BoundsOf(Lit(Render(WithBit(kHex1 + cell, 7)))),
                  (Bounds{x0 + 36, x0 + 45, 85, 94}))
            << "point of cell " << cell + 1;
        EXPECT_EQ(BoundsOf(Lit(Render(WithBit(kHex1 + cell, 6)))),
                  (Bounds{x0 + 2, x0 + 30, 53, 62}))
            << "middle segment of cell " << cell + 1;
    }
}

TEST(UnitLabels, EachShowsTextOnlyInItsOwnPlace) {
    for (const tables::LabelRow& label : tables::kUnitLabels) {
        // Its place runs to the next label, or to the right edge.
        const auto next = std::find_if(tables::kUnitLabels.begin(), tables::kUnitLabels.end(),
                                       [&](const tables::LabelRow& r) { return r.x > label.x; });
        const int end = next == tables::kUnitLabels.end() ? kWidth : next->x;
        const PixelSet lit = Lit(Render(WithBit(kUnit, label.bit)));
        ASSERT_FALSE(lit.empty()) << label.text;
        const Bounds b = BoundsOf(lit);
        EXPECT_GE(b.left, label.x) << label.text;
        EXPECT_LE(b.left, label.x + 3) << label.text;
        EXPECT_LT(b.right, end) << label.text;
        EXPECT_GE(b.top, 2) << label.text;
        EXPECT_LT(b.bottom, 22) << label.text << " reaches the digits";
    }
    EXPECT_TRUE(Lit(Render(WithBit(kUnit, 7))).empty());
}

TEST(UnusedBits, DrawNothing) {
    for (const auto& [slot, bit] : {std::pair{kSign, 6}, {kSign, 7}, {kUnit, 7}, {kWm, 0}}) {
        const QImage image = Render(WithBit(slot, bit));
        EXPECT_EQ(PixelsOf(image, kBack).size(), std::size_t{kWidth * kHeight})
            << "slot " << slot << " bit " << bit;
    }
}

}  // namespace
}  // namespace lumeq::test
