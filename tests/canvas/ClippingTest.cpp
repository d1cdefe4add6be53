#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <vector>

#include "PixelSet.h"
#include "canvas/Canvas.h"

namespace canvas::test {
namespace {

// An image over a buffer with guard rows above and below and spare words after each row, so that
// any write outside the image lands in memory this test checks.
class GuardedImage {
  public:
    static constexpr int kWidth = 23;
    static constexpr int kHeight = 17;
    static constexpr int kStrideWords = kWidth + 5;
    static constexpr int kGuardRows = 4;
    static constexpr QRgb kGuard = 0xA5A5A5A5;

    GuardedImage()
        : m_buffer(static_cast<std::size_t>(kStrideWords) * (kHeight + 2 * kGuardRows), kGuard),
          m_image(reinterpret_cast<uchar*>(m_buffer.data() + kGuardRows * kStrideWords), kWidth,
                  kHeight, kStrideWords * 4, QImage::Format_RGB32) {
        m_image.fill(kWhite);
    }

    QImage& Image() { return m_image; }

    // A detached image would make the guard check meaningless.
    bool DrawsOnTheBuffer() const {
        return m_image.constBits() ==
               reinterpret_cast<const uchar*>(m_buffer.data() + kGuardRows * kStrideWords);
    }

    // Words of the buffer outside the image that no longer hold the guard value.
    int DamagedGuardWords() const {
        int damaged = 0;
        for (std::size_t i = 0; i < m_buffer.size(); ++i) {
            const long row = static_cast<long>(i) / kStrideWords - kGuardRows;
            const long column = static_cast<long>(i) % kStrideWords;
            const bool inside = row >= 0 && row < kHeight && column < kWidth;
            damaged += !inside && m_buffer[i] != kGuard;
        }
        return damaged;
    }

  private:
    std::vector<QRgb> m_buffer;
    QImage m_image;
};

struct ClipCase {
    const char* name;
    std::function<void(Canvas&)> draw;
    PixelSet expected;  // lit pixels, when the outcome is known in full
    bool checkPixels;
};

PixelSet Row(int y) {
    PixelSet pixels;
    for (int x = 0; x < GuardedImage::kWidth; ++x) {
        pixels.insert({x, y});
    }
    return pixels;
}

PixelSet Diagonal() {
    PixelSet pixels;
    for (int i = 0; i < GuardedImage::kHeight; ++i) {
        pixels.insert({i, i});
    }
    return pixels;
}

PixelSet All() {
    PixelSet pixels;
    for (int y = 0; y < GuardedImage::kHeight; ++y) {
        for (const auto& p : Row(y)) {
            pixels.insert(p);
        }
    }
    return pixels;
}

TEST(CanvasClipping, NeverWritesOutsideTheImage) {
    const std::vector<ClipCase> cases = {
        {"row through both sides", [](Canvas& c) { c.Line(-50, 3, 100, 3); }, Row(3), true},
        {"column past the bottom", [](Canvas& c) { c.Line(2, -9, 2, 400); },
         [] {
             PixelSet p;
             for (int y = 0; y < GuardedImage::kHeight; ++y)
                 p.insert({2, y});
             return p;
         }(),
         true},
        {"longest diagonal", [](Canvas& c) { c.Line(INT_MIN, INT_MIN, INT_MAX, INT_MAX); },
         Diagonal(), true},
        {"longest row", [](Canvas& c) { c.Line(INT_MAX, 5, INT_MIN, 5); }, Row(5), true},
        // 2^32 - 1 steps across one row of rise: the rise happens at x 0.
        {"longest shallow slope", [](Canvas& c) { c.Line(INT_MIN, 0, INT_MAX, 1); }, Row(1), true},
        {"steep slope past the corner", [](Canvas& c) { c.Line(20, -3, 27, 30); }, {}, false},
        {"outside entirely", [](Canvas& c) { c.Line(-5, -5, -1, -20); }, {}, true},
        {"right edge column", [](Canvas& c) { c.Line(23, 0, 23, 17); }, {}, true},
        {"huge box", [](Canvas& c) { c.Box(INT_MIN, INT_MIN, INT_MAX, INT_MAX); }, All(), true},
        {"box over the corner", [](Canvas& c) { c.Box(20, 15, 40, 40); },
         [] {
             PixelSet p;
             for (int y = 15; y < 17; ++y)
                 for (int x = 20; x < 23; ++x)
                     p.insert({x, y});
             return p;
         }(),
         true},
        {"huge fill",
         [](Canvas& c) { c.FillSolidRect(INT_MIN, INT_MIN, INT_MAX, INT_MAX, kRedRef); }, All(),
         true},
        {"polygon far outside",
         [](Canvas& c) {
             const Point p[] = {{INT_MIN, INT_MIN}, {INT_MAX, INT_MIN}, {INT_MAX, -100}};
             c.FilledPolygon(p);
         },
         {},
         true},
        {"polygon over the image",
         [](Canvas& c) {
             const Point p[] = {{-40, -40}, {60, -40}, {60, 60}, {-40, 60}};
             c.FilledPolygon(p);
         },
         All(), true},
        {"diamond past every edge",
         [](Canvas& c) {
             const Point p[] = {{11, -30}, {50, 8}, {11, 47}, {-28, 8}};
             c.FilledPolygon(p);
         },
         {},
         false},
        {"labels at the edges",
         [](Canvas& c) {
             c.Label(-3, -4, "gross");
             c.Label(20, 12, "viss");
             c.Label(INT_MAX - 1, INT_MAX - 1, "kg");
         },
         {},
         false},
        {"copy beyond both images",
         [](Canvas& c) {
             QImage source(40, 40, QImage::Format_RGB32);
             source.fill(kRed);
             c.CopyFrom(-10, -10, 100, 100, source, 0, 0);
             c.CopyFrom(15, 10, 100, 100, source, -7, 0);
         },
         All(), true},
    };
    for (const ClipCase& c : cases) {
        GuardedImage guarded;
        Canvas canvas(guarded.Image());
        canvas.SetPen(kRedRef);
        canvas.SetBrush(kRedRef);
        canvas.SetTextColor(kRedRef);
        canvas.SetBkColor(kRedRef);
        c.draw(canvas);
        EXPECT_EQ(guarded.DamagedGuardWords(), 0) << c.name;
        ASSERT_TRUE(guarded.DrawsOnTheBuffer()) << c.name;
        if (c.checkPixels) {
            EXPECT_EQ(NotOf(guarded.Image(), kWhite), c.expected) << c.name;
        }
    }
}

// A clipped line lights the same pixels as the same line drawn whole on a larger image.
TEST(CanvasClipping, ClippedLinesMatchTheUnclippedLine) {
    const int lines[][4] = {
        {-100, -7, 150, 60}, {35, -20, -10, 50}, {-3, 40, 60, -5},  {-30, -30, 70, 70},
        {45, 2, -20, 2},     {5, -50, 5, 80},    {-60, 13, 90, 14}, {12, -90, 17, 95},
    };
    constexpr int kOffset = 200;
    for (const auto& l : lines) {
        QImage small = WhiteImage(40, 30);
        Canvas clipped(small);
        clipped.SetPen(kRedRef);
        clipped.Line(l[0], l[1], l[2], l[3]);

        QImage large = WhiteImage(2 * kOffset + 40, 2 * kOffset + 30);
        Canvas whole(large);
        whole.SetPen(kRedRef);
        whole.Line(l[0] + kOffset, l[1] + kOffset, l[2] + kOffset, l[3] + kOffset);
        EXPECT_EQ(small, large.copy(kOffset, kOffset, 40, 30))
            << l[0] << "," << l[1] << "->" << l[2] << "," << l[3];
    }
}

}  // namespace
}  // namespace canvas::test
