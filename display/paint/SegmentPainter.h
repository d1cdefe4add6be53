#pragma once

// Draws the segment display from its nine value slots and two colours.

#include <cstdint>

class QImage;
class QRect;

namespace canvas {
class Canvas;
}

namespace lumeq {

using ColorRef = std::uint32_t;  // 0x00BBGGRR

struct DisplayState {
    std::uint8_t wm = 0xFF;
    std::uint8_t sign = 0xFF;
    std::uint8_t unit = 0xFF;
    std::uint8_t hex[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};  // hex[0] is the leftmost cell
    ColorRef backColor = 0x009C9C9C;
    ColorRef foreColor1 = 0x0000FF00;

    bool operator==(const DisplayState&) const = default;
};

// Draws every lit element onto `canvas` at its fixed pixel position, in a fixed order: Sign glyphs
// (bits 0..5), the legend, the WM bars (bits 6..1), the unit labels (bits 0..6), then cells Hex1 to
// Hex6 (bits 0..7 each). Leaves the canvas's tools set to the display's colours. Needs a
// QGuiApplication for the labels. Called on the UI thread.
void DrawSegments(canvas::Canvas& canvas, const DisplayState& state);

// One paint pass: composes the picture off screen on an image of bounds.right() + 1 by
// bounds.bottom() + 1 pixels (the bounds' far edges, not its size), filled with the back colour,
// then copies that block to (0,0) of `target` in one copy, clipped to `target`. `target` is
// Format_RGB32 (another format is converted). A far edge at or left of / above the origin leaves
// `target` unchanged. A target whose device pixel ratio is not 1 is drawn at its own resolution,
// with `bounds` in device-independent pixels.
void PaintDisplay(QImage* target, const QRect& bounds, const DisplayState& state);

}  // namespace lumeq
