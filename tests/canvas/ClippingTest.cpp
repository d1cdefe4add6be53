#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <vector>

#include "platform/canvas/Canvas.h"
#include "tests/canvas/CanvasSupport.h"

namespace canvas::test {
namespace {

// An image over a buffer with guard rows above and below and spare words after each row, so any
// write outside the image lands where the test looks.
class GuardedImage {
  public:
    static constexpr int kWidth = 23;
    static constexpr int kHeight = 17;
    static constexpr int kStride = kWidth + 5;  // words
    static constexpr int kGuardRows = 4;
    static constexpr QRgb kGuard = 0xA5A5A5A5;

    GuardedImage()
        : m_buffer(std::size_t{kStride} * (kHeight + 2 * kGuardRows), kGuard),
          m_image(reinterpret_cast<uchar*>(First()), kWidth, kHeight, kStride * 4,
                  QImage::Format_RGB32) {
        m_image.fill(kWhite);
    }

    QImage& Image() { return m_image; }
    // A detached image would make the guard check meaningless.
    bool DrawsOnTheBuffer() const {
        return m_image.constBits() == reinterpret_cast<const uchar*>(First());
    }

    int DamagedGuardWords() const {
        int damaged = 0;
        for (std::size_t i = 0; i < m_buffer.size(); ++i) {
            const long row = long(i) / kStride - kGuardRows;
            const bool inside = row >= 0 && row < kHeight && long(i) % kStride < kWidth;
            damaged += !inside && m_buffer[i] != kGuard;
        }
        return damaged;
    }

  private:
    const QRgb* First() const { return m_buffer.data() + kGuardRows * kStride; }
    QRgb* First() { return m_buffer.data() + kGuardRows * kStride; }

    std::vector<QRgb> m_buffer;
    QImage m_image;
};

TEST(CanvasClipping, NeverWritesOutsideTheImage) {
    constexpr int W = GuardedImage::kWidth;
    constexpr int H = GuardedImage::kHeight;
    PixelSet diagonal;
    for (int i = 0; i < H; ++i) {
        diagonal.insert({i, i});
    }
    const QImage red = [] {
        QImage image(40, 40, QImage::Format_RGB32);
        image.fill(kRed);
        return image;
    }();
    const Point farAway[] = {{INT_MIN, INT_MIN}, {INT_MAX, INT_MIN}, {INT_MAX, -100}};
    const Point around[] = {{-40, -40}, {60, -40}, {60, 60}, {-40, 60}};
    const Point overEdges[] = {{11, -30}, {50, 8}, {11, 47}, {-28, 8}};
    struct Case {
        const char* name;
        std::function<void(Canvas&)> draw;
        bool known;  // whether `expected` is the whole outcome
        PixelSet expected;
    };
    const std::vector<Case> cases = {
        {"row", [](Canvas& c) { c.Line(-50, 3, 100, 3); }, true, Rect(0, 3, W, 4)},
        {"column", [](Canvas& c) { c.Line(2, -9, 2, 400); }, true, Rect(2, 0, 3, H)},
        {"longest diagonal", [](Canvas& c) { c.Line(INT_MIN, INT_MIN, INT_MAX, INT_MAX); }, true,
         diagonal},
        {"longest row", [](Canvas& c) { c.Line(INT_MAX, 5, INT_MIN, 5); }, true, Rect(0, 5, W, 6)},
        // 2^32 - 1 steps for one row of rise, which happens at x 0.
        {"longest shallow slope", [](Canvas& c) { c.Line(INT_MIN, 0, INT_MAX, 1); }, true,
         Rect(0, 1, W, 2)},
        {"steep slope past a corner", [](Canvas& c) { c.Line(20, -3, 27, 30); }, false, {}},
        {"just outside", [](Canvas& c) { c.Line(W, 0, W, H); }, true, {}},
        {"huge box", [](Canvas& c) { c.Box(INT_MIN, INT_MIN, INT_MAX, INT_MAX); }, true,
         Rect(0, 0, W, H)},
        {"box over a corner", [](Canvas& c) { c.Box(20, 15, 40, 40); }, true, Rect(20, 15, W, H)},
        {"huge fill", [](Canvas& c) { c.FillSolidRect(INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0); },
         true, Rect(0, 0, W, H)},
        {"polygon far away", [&](Canvas& c) { c.FilledPolygon(farAway); }, true, {}},
        {"polygon around", [&](Canvas& c) { c.FilledPolygon(around); }, true, Rect(0, 0, W, H)},
        {"polygon over every edge", [&](Canvas& c) { c.FilledPolygon(overEdges); }, false, {}},
        {"labels at the edges",
         [](Canvas& c) {
             c.Label(-3, -4, "gross");
             c.Label(20, 12, "viss");
             c.Label(INT_MAX - 1, INT_MAX - 1, "kg");
             c.Label(INT_MIN, 5, "net");
         },
         false,
         {}},
        {"copy beyond both images",
         [&](Canvas& c) {
             c.CopyFrom(-10, -10, 100, 100, red, 0, 0);
             c.CopyFrom(15, 10, INT_MAX, INT_MAX, red, -7, 0);
         },
         true, Rect(0, 0, W, H)},
    };
    for (const Case& c : cases) {
        GuardedImage guarded;
        Canvas canvas(guarded.Image());
        canvas.SetPen(kRedRef);
        canvas.SetBrush(kRedRef);
        canvas.SetTextColor(kRedRef);
        canvas.SetBkColor(kRedRef);
        c.draw(canvas);
        ASSERT_TRUE(guarded.DrawsOnTheBuffer()) << c.name;
        EXPECT_EQ(guarded.DamagedGuardWords(), 0) << c.name;
        if (c.known) {
            EXPECT_EQ(Drawn(guarded.Image()), c.expected) << c.name;
        }
    }
}

// A clipped line lights the same pixels as the same line drawn whole on a larger image.
TEST(CanvasClipping, ClippedLinesMatchTheWholeLine) {
    const int lines[][4] = {
        {-100, -7, 150, 60}, {35, -20, -10, 50}, {-3, 40, 60, -5},  {-30, -30, 70, 70},
        {45, 2, -20, 2},     {5, -50, 5, 80},    {-60, 13, 90, 14}, {12, -90, 17, 95},
    };
    constexpr int kOffset = 200;
    for (const auto& l : lines) {
        QImage small = WhiteImage(40, 30);
        Canvas clipped(small);
        clipped.Line(l[0], l[1], l[2], l[3]);
        QImage large = WhiteImage(2 * kOffset + 40, 2 * kOffset + 30);
        Canvas whole(large);
        whole.Line(l[0] + kOffset, l[1] + kOffset, l[2] + kOffset, l[3] + kOffset);
        EXPECT_EQ(small, large.copy(kOffset, kOffset, 40, 30))
            << l[0] << "," << l[1] << "->" << l[2] << "," << l[3];
    }
}

}  // namespace
}  // namespace canvas::test
