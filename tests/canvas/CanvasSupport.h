#pragma once

#include <QImage>
#include <set>
#include <utility>

namespace canvas::test {

using PixelSet = std::set<std::pair<int, int>>;  // (x, y)

constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kRed = 0xFFFF0000;
constexpr QRgb kBlue = 0xFF0000FF;
constexpr std::uint32_t kRedRef = 0x000000FF;  // the canvas takes red in the low byte
constexpr std::uint32_t kBlueRef = 0x00FF0000;

inline QImage WhiteImage(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(kWhite);
    return image;
}

// Pixels that are (or, with `equal` false, are not) `color`.
inline PixelSet PixelsOf(const QImage& image, QRgb color, bool equal = true) {
    PixelSet pixels;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if ((image.pixel(x, y) == color) == equal) {
                pixels.insert({x, y});
            }
        }
    }
    return pixels;
}

inline PixelSet Drawn(const QImage& image) {
    return PixelsOf(image, kWhite, false);
}

inline PixelSet Rect(int left, int top, int right, int bottom) {
    PixelSet pixels;
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            pixels.insert({x, y});
        }
    }
    return pixels;
}

}  // namespace canvas::test
