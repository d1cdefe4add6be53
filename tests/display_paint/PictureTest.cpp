// Whole pictures: blank and full displays, cut-off areas, colours, and the rule that every
// element depends on its own bit alone.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "PaintSupport.h"

namespace lumeq::test {
namespace {

DisplayState AllLit() {
    DisplayState state = Blank();
    for (int slot = 0; slot < kSlotCount; ++slot) {
        Slot(state, slot) = 0xFF;
    }
    return state;
}

// What each bit lights on its own, rendered once for the whole suite.
const std::vector<PixelSet>& PerBit() {
    static const std::vector<PixelSet> sets = [] {
        std::vector<PixelSet> s;
        for (int slot = 0; slot < kSlotCount; ++slot) {
            for (int bit = 0; bit < 8; ++bit) {
                s.push_back(Lit(Render(WithBit(slot, bit))));
            }
        }
        return s;
    }();
    return sets;
}

PixelSet UnionOfBits(const DisplayState& state) {
    PixelSet expected;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        for (int bit = 0; bit < 8; ++bit) {
            if ((Slot(const_cast<DisplayState&>(state), slot) >> bit) & 1) {
                Add(&expected, PerBit()[slot * 8 + bit]);
            }
        }
    }
    return expected;
}

TEST(Picture, AllSlotsZeroShowsOnlyTheBackground) {
    const QImage image = Render(Blank());
    EXPECT_EQ(PixelsOf(image, kBack).size(), std::size_t{kWidth * kHeight});
}

TEST(Picture, AllSlotsFullShowsEveryElementInTwoColours) {
    const QImage image = Render(AllLit());
    const PixelSet lit = Lit(image);
    EXPECT_EQ(lit.size() + PixelsOf(image, kBack).size(), std::size_t{kWidth * kHeight});
    EXPECT_EQ(lit, UnionOfBits(AllLit()));
    for (std::size_t i = 0; i < PerBit().size(); ++i) {
        const int slot = static_cast<int>(i) / 8;
        const int bit = static_cast<int>(i) % 8;
        const bool unused =
            (slot == 0 && bit == 0) || (slot == 1 && bit >= 6) || (slot == 2 && bit == 7);
        EXPECT_EQ(PerBit()[i].empty(), unused) << "slot " << slot << " bit " << bit;
    }
    // Elements span x 4..352 and y 2..94, labels included.
    EXPECT_EQ(BoundsOf(lit), (Bounds{4, 352, 2, 94}));
}

TEST(Picture, ADefaultStateIsGreenOnGreyWithEverythingLit) {
    const DisplayState fresh;
    const QImage image = Render(fresh);
    EXPECT_EQ(image.pixel(0, 0), qRgb(156, 156, 156));
    EXPECT_EQ(image.pixel(5, 18), qRgb(0, 255, 0));
    EXPECT_EQ(PixelsOf(image, qRgb(0, 255, 0)), UnionOfBits(AllLit()));
}

TEST(Picture, EveryCombinationLightsTheUnionOfItsBits) {
    std::vector<DisplayState> states;
    // Digit examples: 0, 1, 8, 0 with its point, the point alone, segments b and d.
    for (const std::uint8_t digit : {0x3F, 0x06, 0x7F, 0xBF, 0x80, 0x0A}) {
        DisplayState s = Blank();
        s.hex[2] = digit;
        s.unit = 0x41;
        s.wm = 0x7E;
        states.push_back(s);
    }
    std::uint32_t seed = 12345;
    for (int n = 0; n < 24; ++n) {
        DisplayState s = Blank();
        for (int slot = 0; slot < kSlotCount; ++slot) {
            seed = seed * 1664525u + 1013904223u;
            Slot(s, slot) = static_cast<std::uint8_t>(seed >> 24);
        }
        states.push_back(s);
    }
    for (const DisplayState& s : states) {
        EXPECT_EQ(Lit(Render(s)), UnionOfBits(s))
            << "wm " << int(s.wm) << " sign " << int(s.sign) << " unit " << int(s.unit) << " hex "
            << int(s.hex[0]) << " " << int(s.hex[1]) << " " << int(s.hex[2]) << " " << int(s.hex[3])
            << " " << int(s.hex[4]) << " " << int(s.hex[5]);
    }
}

TEST(Picture, UnitKgAndNetShowBothLabelsAndNothingElse) {
    DisplayState s = Blank();
    s.unit = 0x41;
    const PixelSet lit = Lit(Render(s));
    const auto inRegion = [](const std::pair<int, int>& p, int left, int right) {
        return p.first >= left && p.first < right && p.second >= 2 && p.second < 22;
    };
    std::size_t kg = 0;
    std::size_t net = 0;
    for (const auto& p : lit) {
        kg += inRegion(p, 72, 104);
        net += inRegion(p, 310, kWidth);
    }
    EXPECT_GT(kg, 10u);
    EXPECT_GT(net, 10u);
    EXPECT_EQ(kg + net, lit.size());
}

TEST(Picture, ForeColourEqualToBackColourShowsNothing) {
    DisplayState s = AllLit();
    s.foreColor1 = s.backColor;
    const QImage image = Render(s);
    EXPECT_EQ(PixelsOf(image, kBack).size(), std::size_t{kWidth * kHeight});
}

TEST(Picture, ColoursTakeRedFromTheLowByte) {
    DisplayState s = AllLit();
    s.foreColor1 = 0x000000FF;
    s.backColor = 0x00FF0000;
    const QImage image = Render(s);
    EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(5, 18), qRgb(255, 0, 0));
}

// A client area 200 pixels wide cuts the picture at x 199, in the middle of cell 3's point.
TEST(Picture, NarrowAreaCutsThePictureAtItsRightEdge) {
    const QImage full = Render(AllLit());
    const QImage narrow = Render(AllLit(), QRect(0, 0, 200, kHeight));
    EXPECT_EQ(narrow.copy(0, 0, 200, kHeight), full.copy(0, 0, 200, kHeight));
    EXPECT_EQ(PixelsOf(narrow.copy(200, 0, kWidth - 200, kHeight), kUntouched).size(),
              std::size_t{(kWidth - 200) * kHeight});
    // Cell 3's point spans x 196..205: its left part shows up to the edge.
    EXPECT_EQ(narrow.pixel(199, 89), kFore);
    EXPECT_EQ(narrow.pixel(196, 89), kFore);
}

TEST(Picture, BoundsAwayFromTheOriginStillDrawFromTheOrigin) {
    const QImage full = Render(AllLit());
    const QRect bounds(30, 20, 100, 50);  // far edges at x 129, y 69
    const QImage image = Render(AllLit(), bounds);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const QRgb want = x < 130 && y < 70 ? full.pixel(x, y) : kUntouched;
            ASSERT_EQ(image.pixel(x, y), want) << x << "," << y;
        }
    }
}

TEST(Picture, FarEdgeAtOrBeforeTheOriginLeavesTheTargetUnchanged) {
    const QRect cases[] = {QRect(0, 0, 0, kHeight), QRect(0, 0, kWidth, 0),  QRect(-10, 0, 10, 50),
                           QRect(0, -40, 30, 40),   QRect(-50, -50, 20, 20), QRect()};
    for (const QRect& bounds : cases) {
        const QImage image = Render(AllLit(), bounds);
        EXPECT_EQ(PixelsOf(image, kUntouched).size(), std::size_t{kWidth * kHeight})
            << bounds.x() << "," << bounds.y() << " " << bounds.width() << "x" << bounds.height();
    }
    PaintDisplay(nullptr, QRect(0, 0, kWidth, kHeight), AllLit());
}

// The control may hand any canvas: the drawing sets its own tools and paints no background of its
// own beyond the labels' text cells.
TEST(Picture, DrawSegmentsSetsItsOwnColoursOnAnyCanvas) {
    constexpr canvas::ColorRef kOtherRef = 0x00FFFF00;
    constexpr QRgb kOtherInk = 0xFF00FFFF;
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(kUntouched);
    canvas::Canvas canvas(image);
    canvas.SetPen(kOtherRef);
    canvas.SetBrush(kOtherRef);
    canvas.SetTextColor(kOtherRef);
    canvas.SetBkColor(kOtherRef);
    DrawSegments(canvas, AllLit());
    EXPECT_EQ(Lit(image), UnionOfBits(AllLit()));
    EXPECT_TRUE(PixelsOf(image, kOtherInk).empty());
    // Text cells show the back colour; nothing else does.
    const PixelSet back = PixelsOf(image, kBack);
    ASSERT_FALSE(back.empty());
    EXPECT_LT(BoundsOf(back).bottom, 22);
    EXPECT_EQ(Lit(image).size() + back.size() + PixelsOf(image, kUntouched).size(),
              std::size_t{kWidth * kHeight});
}

TEST(Picture, LargerAreaShowsBackgroundBeyondThePicture) {
    const QImage full = Render(AllLit());
    const QImage large = Render(AllLit(), QRect(0, 0, 500, 300), QSize(500, 300));
    EXPECT_EQ(large.copy(0, 0, kWidth, kHeight), full);
    EXPECT_EQ(Lit(large), Lit(full));
    EXPECT_EQ(PixelsOf(large, kUntouched).size(), 0u);
}

}  // namespace
}  // namespace lumeq::test
