#pragma once

#include <QImage>
#include <set>
#include <utility>

namespace canvas::test {

using Pixel = std::pair<int, int>;  // (x, y)
using PixelSet = std::set<Pixel>;

constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kRed = 0xFFFF0000;
constexpr QRgb kBlue = 0xFF0000FF;
// The same colours as the canvas takes them, red in the low byte.
constexpr std::uint32_t kRedRef = 0x000000FF;
constexpr std::uint32_t kBlueRef = 0x00FF0000;
constexpr std::uint32_t kWhiteRef = 0x00FFFFFF;

inline QImage WhiteImage(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(kWhite);
    return image;
}

inline PixelSet PixelsOf(const QImage& image, QRgb color) {
    PixelSet pixels;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == color) {
                pixels.insert({x, y});
            }
        }
    }
    return pixels;
}

inline PixelSet NotOf(const QImage& image, QRgb color) {
    PixelSet pixels;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != color) {
                pixels.insert({x, y});
            }
        }
    }
    return pixels;
}

}  // namespace canvas::test
