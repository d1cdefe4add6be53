#pragma once

// A drawing context on an image with the pixel rules of a segment display: lines leave their end
// point undrawn, boxes cover their left and top edges but not their right and bottom ones,
// filled polygons light every vertex and edge pixel. Every operation clips to the image, whatever
// its coordinates.
//
// Coordinates are device-independent pixels: on an image whose device pixel ratio is not 1 the
// canvas draws at the image's full resolution (see DeviceScale and ScaledRaster.h); at a ratio of
// 1 they are the image's pixels.

#include <QImage>
#include <span>
#include <string_view>

#include "platform/canvas/Color.h"
#include "platform/canvas/DeviceScale.h"

namespace canvas {

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

// Called on the thread that owns the image; Label needs a QGuiApplication (fonts).
class Canvas {
  public:
    // Draws on `image`, which must outlive the canvas. An image that is not 32-bit RGB is
    // converted to Format_RGB32 first. The tools start as black pen, white brush, black text on
    // white.
    explicit Canvas(QImage& image);
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    int Width() const { return m_image.width(); }
    int Height() const { return m_image.height(); }
    const DeviceScale& Scale() const { return m_scale; }

    void SetPen(ColorRef color) { m_pen = ToQRgb(color); }
    void SetBrush(ColorRef color) { m_brush = ToQRgb(color); }
    void SetTextColor(ColorRef color) { m_text = ToQRgb(color); }
    void SetBkColor(ColorRef color) { m_back = ToQRgb(color); }

    // The pen's line from the current position to (x, y), without (x, y) itself; (x, y) becomes
    // the current position, so a run of LineTo calls draws a chain.
    void MoveTo(int x, int y) { m_position = {x, y}; }
    void LineTo(int x, int y);
    // MoveTo(x1, y1) then LineTo(x2, y2). Horizontal, vertical and 45-degree lines light exactly
    // the integer points before the end; other slopes light one pixel per step of the longer
    // axis, the nearest to the exact line (halves round towards the end point).
    void Line(int x1, int y1, int x2, int y2);

    // Pen outline and brush interior over x left..right-1, y top..bottom-1. Nothing when
    // right <= left or bottom <= top.
    void Box(int left, int top, int right, int bottom);

    // Fills the closed chain of `points` with the brush (even-odd rule, every integer point
    // strictly inside), then draws the closed chain with the pen, so every vertex and edge pixel
    // is lit. Does not move the current position. Fewer than two points draw nothing.
    void FilledPolygon(std::span<const Point> points);

    // Text in the text colour on an opaque box of the background colour, in the application's
    // default font without antialiasing; (x, y) is the top-left corner of the text's cell. At
    // other ratios the glyphs are rendered at the image's resolution, not enlarged.
    void Label(int x, int y, std::string_view text);

    // One colour over x left..right-1, y top..bottom-1, tools unchanged.
    void FillSolidRect(int left, int top, int right, int bottom, ColorRef color);

    // Plain copy of `width` by `height` pixels from (srcX, srcY) of `source` to (dstX, dstY),
    // clipped to both images. `source` is taken at this canvas's ratio.
    void CopyFrom(int dstX, int dstY, int width, int height, const QImage& source, int srcX,
                  int srcY);

  private:
    void CopyPixels(long long dstX, long long dstY, long long width, long long height,
                    const QImage& source, long long srcX, long long srcY);

    QImage& m_image;
    DeviceScale m_scale;
    QRgb m_pen;
    QRgb m_brush;
    QRgb m_text;
    QRgb m_back;
    Point m_position;
};

}  // namespace canvas
