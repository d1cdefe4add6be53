#include <gtest/gtest.h>

#include <set>

#include <QIcon>
#include <QImage>

#include "display/CModuleState.h"
#include "display/res/LumeqImages.h"

namespace lumeq {
namespace {

int ColourCount(const QImage& image) {
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    }
    return static_cast<int>(colours.size());
}

TEST(LumeqResourcesTest, ToolboxBitmapIsSixteenByFifteenInSixteenColours) {
    const QImage bitmap = LumeqToolboxBitmap();
    ASSERT_FALSE(bitmap.isNull());
    EXPECT_EQ(bitmap.size(), QSize(16, 15));
    EXPECT_LE(ColourCount(bitmap), 16);
}

TEST(LumeqResourcesTest, IconHasBothSizesInSixteenColours) {
    const QIcon icon = LumeqIcon();
    ASSERT_EQ(icon.availableSizes().size(), 2);
    for (int side : {32, 16}) {
        const QImage image = icon.pixmap(side, side).toImage();
        EXPECT_EQ(image.size(), QSize(side, side));
        EXPECT_LE(ColourCount(image), 16) << side;
    }
}

TEST(LumeqResourcesTest, ImagesComeFromTheCurrentModulesResources) {
    // Another library's state current on this thread would find that library's images.
    CModuleState other = {"other", ":/no-such-library"};
    CModuleStateScope scope(&other);
    EXPECT_TRUE(LumeqToolboxBitmap().isNull());
}

}  // namespace
}  // namespace lumeq
