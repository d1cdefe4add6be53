// The picture on dense screens: drawn at the screen's resolution, never a 1x picture enlarged.

#include <gtest/gtest.h>

#include <cmath>

#include "tests/display_paint/PaintSupport.h"

namespace lumeq::test {
namespace {

QImage RenderAt(const DisplayState& state, double ratio) {
    QImage target(static_cast<int>(std::ceil(kWidth * ratio)),
                  static_cast<int>(std::ceil(kHeight * ratio)), QImage::Format_RGB32);
    target.setDevicePixelRatio(ratio);
    target.fill(kUntouched);
    PaintDisplay(&target, QRect(0, 0, kWidth, kHeight), state);
    target.setDevicePixelRatio(1);
    return target;
}

QImage Doubled(const QImage& image) {
    return image.scaled(image.size() * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

// Aligned 2x2 blocks that hold more than one colour.
int MixedBlocks(const QImage& image, QRect area) {
    int mixed = 0;
    for (int y = area.top(); y + 1 <= area.bottom(); y += 2) {
        for (int x = area.left(); x + 1 <= area.right(); x += 2) {
            const QRgb c = image.pixel(x, y);
            mixed += image.pixel(x + 1, y) != c || image.pixel(x, y + 1) != c ||
                     image.pixel(x + 1, y + 1) != c;
        }
    }
    return mixed;
}

TEST(ScaledPicture, AtRatioTwoLinesAndBoxesAreDoubledAndTheRestIsSharp) {
    // Glyphs, legend and bars are lines and boxes only.
    DisplayState lines = Filled(0);
    lines.sign = 0x3F;
    lines.wm = 0xFE;
    EXPECT_EQ(RenderAt(lines, 2), Doubled(Render(lines)));

    // The labels are rendered with a twice-as-large font, not made of 2x2 blocks; the digit
    // cells keep every doubled pixel and smooth their slanted edges.
    DisplayState rest = Filled(0);
    rest.unit = 0x7F;
    rest.hex[0] = 0xFF;
    const QImage sharp = RenderAt(rest, 2);
    const QImage doubled = Doubled(Render(rest));
    EXPECT_GT(MixedBlocks(sharp, QRect(0, 0, 718, 40)), 20);
    EXPECT_GT(MixedBlocks(sharp, QRect(124, 44, 92, 146)), 20);
    for (const auto& [x, y] : Lit(doubled)) {
        if (y >= 44) {  // below the labels: the first cell
            EXPECT_EQ(sharp.pixel(x, y), kFore) << x << "," << y;
        }
    }
}

TEST(ScaledPicture, FractionalRatiosFillTheWholeTargetAtItsResolution) {
    for (const double ratio : {1.25, 1.5, 1.75}) {
        const QImage picture = RenderAt(Filled(0xFF), ratio);
        EXPECT_TRUE(PixelsOf(picture, kUntouched).empty()) << ratio;
        const PixelSet lit = Lit(picture);
        const Bounds b = BoundsOf(lit);
        // The 1x picture spans x 4..352 and y 2..94 plus the labels.
        EXPECT_EQ(b.left, static_cast<int>(std::floor(4 * ratio + 0.5))) << ratio;
        EXPECT_NEAR(b.right, 353 * ratio, 2) << ratio;
        EXPECT_NEAR(b.bottom, 95 * ratio, 2) << ratio;
    }
}

}  // namespace
}  // namespace lumeq::test
