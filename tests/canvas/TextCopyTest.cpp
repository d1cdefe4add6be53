#include <gtest/gtest.h>

#include <climits>
#include <set>

#include "PixelSet.h"
#include "canvas/Canvas.h"

namespace canvas::test {
namespace {

QRect BoundsOf(const PixelSet& pixels) {
    QRect bounds;
    for (const auto& [x, y] : pixels) {
        bounds |= QRect(x, y, 1, 1);
    }
    return bounds;
}

std::set<QRgb> ColorsOf(const QImage& image) {
    std::set<QRgb> colors;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            colors.insert(image.pixel(x, y));
        }
    }
    return colors;
}

TEST(CanvasLabel, DrawsOpaqueTwoColourTextFromItsTopLeftCorner) {
    QImage image = WhiteImage(60, 30);
    Canvas canvas(image);
    canvas.SetTextColor(kRedRef);
    canvas.SetBkColor(kBlueRef);
    canvas.Label(5, 4, "kg");

    EXPECT_EQ(ColorsOf(image), (std::set<QRgb>{kWhite, kRed, kBlue}));
    const PixelSet cell = NotOf(image, kWhite);
    const QRect bounds = BoundsOf(cell);
    EXPECT_EQ(bounds.topLeft(), QPoint(5, 4));
    // Opaque: the whole cell is painted, text over background, no holes.
    EXPECT_EQ(static_cast<int>(cell.size()), bounds.width() * bounds.height());
    EXPECT_GT(bounds.width(), 6);
    EXPECT_GT(bounds.height(), 6);
    const PixelSet ink = PixelsOf(image, kRed);
    EXPECT_GT(ink.size(), 10u);
    EXPECT_TRUE(bounds.contains(BoundsOf(ink)));
}

TEST(CanvasLabel, EmptyTextDrawsNothingAndEdgesClip) {
    QImage image = WhiteImage(40, 20);
    Canvas canvas(image);
    canvas.SetTextColor(kRedRef);
    canvas.SetBkColor(kBlueRef);
    canvas.Label(3, 3, "");
    EXPECT_TRUE(NotOf(image, kWhite).empty());

    canvas.Label(-4, -3, "net");
    EXPECT_EQ(BoundsOf(NotOf(image, kWhite)).topLeft(), QPoint(0, 0));
    for (const QPoint at : {QPoint(INT_MAX, INT_MAX), QPoint(INT_MIN, INT_MIN), QPoint(40, 0),
                            QPoint(0, 20), QPoint(INT_MIN, 5)}) {
        QImage blank = WhiteImage(40, 20);
        Canvas other(blank);
        other.SetTextColor(kRedRef);
        other.Label(at.x(), at.y(), "gross");
        EXPECT_TRUE(NotOf(blank, kWhite).empty()) << at.x() << "," << at.y();
    }
}

TEST(CanvasFill, FillsExactlyTheHalfOpenRectangle) {
    QImage image = WhiteImage(6, 6);
    Canvas canvas(image);
    canvas.FillSolidRect(1, 2, 4, 4, kRedRef);
    EXPECT_EQ(NotOf(image, kWhite), (PixelSet{{1, 2}, {2, 2}, {3, 2}, {1, 3}, {2, 3}, {3, 3}}));
    EXPECT_EQ(PixelsOf(image, kRed).size(), 6u);
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

// The clipped copy by definition: each target pixel inside the destination block takes the
// source pixel at the same offset, when that exists.
QImage ExpectedCopy(const QImage& before, const QImage& source, long long dx, long long dy,
                    long long w, long long h, long long sx, long long sy) {
    QImage expected = before.copy();
    for (int y = 0; y < before.height(); ++y) {
        for (int x = 0; x < before.width(); ++x) {
            const long long u = sx + (x - dx);
            const long long v = sy + (y - dy);
            if (x >= dx && x < dx + w && y >= dy && y < dy + h && u >= 0 && v >= 0 &&
                u < source.width() && v < source.height()) {
                expected.setPixel(x, y, source.pixel(static_cast<int>(u), static_cast<int>(v)));
            }
        }
    }
    return expected;
}

TEST(CanvasCopy, CopiesTheBlockClippedToBothImages) {
    struct CopyCase {
        int dx, dy, w, h, sx, sy;
    };
    const CopyCase cases[] = {
        {2, 3, 4, 5, 1, 1},
        {-2, -2, 5, 5, 0, 0},
        {3, 3, 100, 100, 0, 0},
        {0, 0, 5, 5, -3, -2},
        {6, 6, 5, 5, 8, 8},
        {0, 0, 0, 5, 0, 0},
        {1, 1, -4, 4, 0, 0},
        {0, 0, 8, 8, 10, 0},
        {INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0, 0},
        {0, 0, INT_MAX, INT_MAX, INT_MIN, INT_MIN},
        {INT_MAX, 0, INT_MAX, 8, 0, 0},
        {-5, 0, INT_MAX, 3, INT_MAX, 0},
    };
    const QImage source = Pattern(10, 10);
    for (const CopyCase& c : cases) {
        QImage image = WhiteImage(8, 8);
        const QImage expected = ExpectedCopy(image, source, c.dx, c.dy, c.w, c.h, c.sx, c.sy);
        Canvas canvas(image);
        canvas.CopyFrom(c.dx, c.dy, c.w, c.h, source, c.sx, c.sy);
        EXPECT_EQ(image, expected)
            << c.dx << "," << c.dy << " " << c.w << "x" << c.h << " from " << c.sx << "," << c.sy;
    }
}

TEST(CanvasCopy, OverlappingCopyWithinOneImageMovesTheOriginalPixels) {
    struct Shift {
        int dx, dy, sx, sy;
    };
    for (const Shift s :
         {Shift{1, 1, 0, 0}, Shift{0, 0, 1, 1}, Shift{2, 0, 0, 0}, Shift{0, 0, 0, 3}}) {
        QImage image = Pattern(10, 10);
        const QImage snapshot = image.copy();
        Canvas canvas(image);
        canvas.CopyFrom(s.dx, s.dy, 8, 7, image, s.sx, s.sy);
        EXPECT_EQ(image, ExpectedCopy(snapshot, snapshot, s.dx, s.dy, 8, 7, s.sx, s.sy))
            << s.dx << "," << s.dy << " from " << s.sx << "," << s.sy;
    }
}

TEST(CanvasCopy, ConvertsASourceOfAnotherFormat) {
    const QImage source = Pattern(4, 4).convertToFormat(QImage::Format_RGB888);
    QImage image = WhiteImage(4, 4);
    Canvas canvas(image);
    canvas.CopyFrom(0, 0, 4, 4, source, 0, 0);
    EXPECT_EQ(image, Pattern(4, 4));
}

}  // namespace
}  // namespace canvas::test
