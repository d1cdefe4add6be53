// Whole pictures: blank and full displays, cut-off areas, colours, and the rule that each
// element depends on its own bit alone.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "platform/canvas/Canvas.h"
#include "tests/display_paint/PaintSupport.h"

namespace lumeq::test {
namespace {

// What each bit lights on its own, rendered once for the suite.
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

PixelSet UnionOfBits(DisplayState state) {
    PixelSet expected;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        for (int bit = 0; bit < 8; ++bit) {
            if ((Slot(state, slot) >> bit) & 1) {
                expected.insert(PerBit()[slot * 8 + bit].begin(), PerBit()[slot * 8 + bit].end());
            }
        }
    }
    return expected;
}

TEST(Picture, BlankAndFullDisplays) {
    EXPECT_EQ(PixelsOf(Render(Filled(0)), kBack).size(), kArea);

    const QImage full = Render(Filled(0xFF));
    const PixelSet lit = Lit(full);
    EXPECT_EQ(lit.size() + PixelsOf(full, kBack).size(), kArea);
    EXPECT_EQ(BoundsOf(lit), (Bounds{4, 352, 2, 94}));
    for (int slot = 0; slot < kSlotCount; ++slot) {
        for (int bit = 0; bit < 8; ++bit) {
            const bool unused = (slot == kWm && bit == 0) || (slot == kSign && bit >= 6) ||
                                (slot == kUnit && bit == 7);
            EXPECT_EQ(PerBit()[slot * 8 + bit].empty(), unused)
                << "slot " << slot << " bit " << bit;
        }
    }

    // A fresh state is every element in green on grey.
    const QImage fresh = Render(DisplayState{});
    EXPECT_EQ(PixelsOf(fresh, qRgb(0, 255, 0)), UnionOfBits(Filled(0xFF)));
    EXPECT_EQ(PixelsOf(fresh, qRgb(156, 156, 156)).size(), kArea - lit.size());
}

TEST(Picture, EveryCombinationLightsTheUnionOfItsBits) {
    std::vector<DisplayState> states = {Filled(0xFF)};
    // 0, 1, 8, 0 with its point, the point alone, segments b and d; kg with net; bars only.
    for (const std::uint8_t digit : {0x3F, 0x06, 0x7F, 0xBF, 0x80, 0x0A}) {
        DisplayState s = Filled(0);
        s.hex[2] = digit;
        s.unit = 0x41;
        s.wm = 0x7E;
        states.push_back(s);
    }
    std::uint32_t seed = 12345;
    for (int n = 0; n < 24; ++n) {
        DisplayState s = Filled(0);
        for (int slot = 0; slot < kSlotCount; ++slot) {
            seed = seed * 1664525u + 1013904223u;
            Slot(s, slot) = static_cast<std::uint8_t>(seed >> 24);
        }
        states.push_back(s);
    }
    for (const DisplayState& s : states) {
        EXPECT_EQ(Lit(Render(s)), UnionOfBits(s))
            << "wm " << int(s.wm) << " sign " << int(s.sign) << " unit " << int(s.unit) << " hex3 "
            << int(s.hex[2]);
    }
}

TEST(Picture, UnitKgAndNetShowBothLabelsAndNothingElse) {
    DisplayState s = Filled(0);
    s.unit = 0x41;
    std::size_t kg = 0;
    std::size_t net = 0;
    const PixelSet lit = Lit(Render(s));
    for (const auto& [x, y] : lit) {
        kg += x >= 72 && x < 104 && y >= 2 && y < 22;
        net += x >= 310 && y >= 2 && y < 22;
    }
    EXPECT_GT(kg, 10u);
    EXPECT_GT(net, 10u);
    EXPECT_EQ(kg + net, lit.size());
}

TEST(Picture, ColoursComeFromTheStateAlone) {
    DisplayState same = Filled(0xFF);
    same.foreColor1 = same.backColor;
    EXPECT_EQ(PixelsOf(Render(same), kBack).size(), kArea);

    DisplayState redOnBlue = Filled(0xFF);
    redOnBlue.foreColor1 = 0x000000FF;
    redOnBlue.backColor = 0x00FF0000;
    const QImage image = Render(redOnBlue);
    EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(5, 18), qRgb(255, 0, 0));

    // On a canvas with other tools the drawing still uses the state's colours, and paints nothing
    // but the elements and the labels' text cells.
    QImage canvasImage(kWidth, kHeight, QImage::Format_RGB32);
    canvasImage.fill(kUntouched);
    canvas::Canvas canvas(canvasImage);
    canvas.SetPen(0x00FFFF00);
    canvas.SetBrush(0x00FFFF00);
    canvas.SetTextColor(0x00FFFF00);
    canvas.SetBkColor(0x00FFFF00);
    DrawSegments(canvas, Filled(0xFF));
    const PixelSet cells = PixelsOf(canvasImage, kBack);
    EXPECT_EQ(Lit(canvasImage), UnionOfBits(Filled(0xFF)));
    EXPECT_TRUE(!cells.empty() && BoundsOf(cells).top >= 2 && BoundsOf(cells).bottom < 22);
    EXPECT_EQ(Lit(canvasImage).size() + cells.size() + PixelsOf(canvasImage, kUntouched).size(),
              kArea);
}

// The picture covers the target from (0,0) to the bounds' far edges, wherever the bounds start;
// the rest of the target keeps its pixels.
TEST(Picture, BoundsDecideTheBlockFromTheOrigin) {
    constexpr int kIntMax = std::numeric_limits<int>::max();
    constexpr int kIntMin = std::numeric_limits<int>::min();
    const QImage full = Render(Filled(0xFF));
    const QRect cases[] = {QRect(0, 0, 200, kHeight), QRect(30, 20, 100, 50), QRect(0, 0, 500, 300),
                           QRect(0, 0, 0, kHeight), QRect(0, 0, kWidth, 0), QRect(-10, 0, 10, 50),
                           QRect(-50, -50, 20, 20), QRect(),
                           // Far edges at the end of the int range.
                           QRect(QPoint(0, 0), QPoint(kIntMax, kIntMax)),
                           QRect(QPoint(kIntMin, kIntMin), QPoint(kIntMax, 40))};
    for (const QRect& bounds : cases) {
        const QImage image = Render(Filled(0xFF), bounds);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const bool inBlock = x <= bounds.right() && y <= bounds.bottom();
                ASSERT_EQ(image.pixel(x, y), inBlock ? full.pixel(x, y) : kUntouched)
                    << x << "," << y << " bounds " << bounds.x() << "," << bounds.y() << " "
                    << bounds.width() << "x" << bounds.height();
            }
        }
    }
    // 200 pixels wide: cell 3's point (x 196..205) is cut after x 199.
    const QImage narrow = Render(Filled(0xFF), QRect(0, 0, 200, kHeight));
    EXPECT_TRUE(narrow.pixel(196, 89) == kFore && narrow.pixel(199, 89) == kFore);
    PaintDisplay(nullptr, QRect(0, 0, kWidth, kHeight), Filled(0xFF));
}

}  // namespace
}  // namespace lumeq::test
