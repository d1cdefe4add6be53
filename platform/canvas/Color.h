#pragma once

#include <QColor>
#include <cstdint>

namespace canvas {

// A colour as the display's callers pass it: 0x00BBGGRR, red in the low byte.
using ColorRef = std::uint32_t;

// The high byte carries no colour and is ignored; the result is opaque.
constexpr QRgb ToQRgb(ColorRef color) {
    const std::uint32_t red = color & 0xFFu;
    const std::uint32_t green = (color >> 8) & 0xFFu;
    const std::uint32_t blue = (color >> 16) & 0xFFu;
    return 0xFF000000u | (red << 16) | (green << 8) | blue;
}

}  // namespace canvas
