#include "display/paint/SegmentPainter.h"

#include <QImage>
#include <QRect>
#include <algorithm>
#include <array>

#include "display/paint/ImageBuffer.h"
#include "display/paint/SegmentTables.h"
#include "platform/canvas/Canvas.h"

namespace lumeq {
namespace {

bool IsSet(std::uint8_t slot, int bit) {
    return (slot >> bit) & 1u;
}

void DrawGlyph(canvas::Canvas& out, const tables::GlyphRow& glyph) {
    if (!glyph.chain.empty()) {
        out.MoveTo(glyph.chain.front().x, glyph.chain.front().y);
        for (const canvas::Point& p : glyph.chain.subspan(1)) {
            out.LineTo(p.x, p.y);
        }
    }
    for (const tables::LineRow& line : glyph.lines) {
        out.Line(line.x1, line.y1, line.x2, line.y2);
    }
}

void DrawLegend(canvas::Canvas& out) {
    for (const tables::LegendRow& row : tables::kLegend) {
        if (row.kind == tables::LegendRow::kLine) {
            out.Line(row.a, row.b, row.c, row.d);
        } else {
            out.Box(row.a, row.b, row.c, row.d);
        }
    }
}

void DrawSegment(canvas::Canvas& out, int x0, const tables::SegmentRow& segment) {
    std::array<canvas::Point, 8> placed{};
    const auto vertices = segment.Vertices();
    std::transform(vertices.begin(), vertices.end(), placed.begin(), [x0](canvas::Point p) {
        return canvas::Point{x0 + p.x, p.y};
    });
    out.FilledPolygon(std::span(placed.data(), vertices.size()));
}

}  // namespace

void DrawSegments(canvas::Canvas& out, const DisplayState& state) {
    out.SetPen(state.foreColor1);
    for (const tables::GlyphRow& glyph : tables::kSignGlyphs) {
        if (IsSet(state.sign, glyph.bit)) {
            DrawGlyph(out, glyph);
        }
    }
    if (IsSet(state.wm, tables::kLegendBit)) {
        DrawLegend(out);
    }

    out.SetBrush(state.foreColor1);
    for (const tables::BarRow& bar : tables::kWmBars) {
        if (IsSet(state.wm, bar.bit)) {
            out.Box(bar.box.left, bar.box.top, bar.box.right, bar.box.bottom);
        }
    }

    out.SetTextColor(state.foreColor1);
    out.SetBkColor(state.backColor);
    for (const tables::LabelRow& label : tables::kUnitLabels) {
        if (IsSet(state.unit, label.bit)) {
            out.Label(label.x, label.y, label.text);
        }
    }

    for (int cell = 0; cell < tables::kCellCount; ++cell) {
        for (const tables::SegmentRow& segment : tables::kSegments) {
            if (IsSet(state.hex[cell], segment.bit)) {
                DrawSegment(out, tables::kCellX0[cell], segment);
            }
        }
    }
}

void PaintDisplay(QImage* target, const QRect& bounds, const DisplayState& state) {
    if (target == nullptr || target->isNull()) {
        return;
    }
    // The block runs from the origin to the bounds' far edges. Pixels beyond the target would be
    // clipped by the copy anyway, so the off-screen image never needs to be larger than it.
    // Counted wide: a far edge at the end of the int range has no next pixel in an int. At a
    // device pixel ratio other than 1 the bounds are device-independent pixels and the
    // off-screen image is made at the target's resolution.
    const canvas::DeviceScale scale(target->devicePixelRatio());
    const int width = static_cast<int>(
        std::min(std::int64_t{bounds.right()} + 1, std::int64_t{scale.Cover(target->width())}));
    const int height = static_cast<int>(
        std::min(std::int64_t{bounds.bottom()} + 1, std::int64_t{scale.Cover(target->height())}));
    if (width <= 0 || height <= 0) {
        return;
    }
    // Every image pixel the bounds touch, a partly covered last row or column included.
    const int pixelsWide =
        static_cast<int>(std::min<long long>(scale.Reach(width), target->width()));
    const int pixelsHigh =
        static_cast<int>(std::min<long long>(scale.Reach(height), target->height()));
    const int coverWide = static_cast<int>(scale.Cover(pixelsWide));
    const int coverHigh = static_cast<int>(scale.Cover(pixelsHigh));
    // Paints run on the UI thread, one at a time.
    thread_local ImageBuffer buffer;
    QImage& offscreen = buffer.Get(pixelsWide, pixelsHigh, scale.Ratio());
    canvas::Canvas composer(offscreen);
    composer.SetBkColor(state.backColor);
    composer.FillSolidRect(0, 0, coverWide, coverHigh, state.backColor);
    DrawSegments(composer, state);

    canvas::Canvas screen(*target);
    screen.CopyFrom(0, 0, coverWide, coverHigh, offscreen, 0, 0);
}

}  // namespace lumeq
