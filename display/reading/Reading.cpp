#include "display/reading/Reading.h"

#include <bit>

#include "display/paint/SegmentTables.h"
#include "display/reading/Glyphs.h"

namespace lumeq::reading {

namespace {

char ShapeText(std::uint8_t shape) {
    if (shape == 0)
        return ' ';
    for (const ShapeName& known : kCellShapes) {
        if (known.mask == shape)
            return known.text;
    }
    return '?';
}

void Append(std::string* text, std::string_view part, std::string_view separator) {
    if (!text->empty())
        *text += separator;
    *text += part;
}

}  // namespace

std::string CellsText(std::span<const std::uint8_t> cells) {
    std::string text;
    for (const std::uint8_t cell : cells) {
        text += ShapeText(cell & static_cast<std::uint8_t>(~kPointSegment));
        if (cell & kPointSegment)
            text += '.';
    }
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string ReadingText(const Shown& shown) {
    std::string text = CellsText(shown.hex);
    for (const tables::LabelRow& label : tables::kUnitLabels) {
        if ((shown.unit >> label.bit) & 1u)
            Append(&text, label.text, " ");
    }
    for (const IndicatorName& indicator : kSignNames) {
        if (shown.sign & indicator.mask)
            Append(&text, indicator.name, ", ");
    }
    if (shown.wm & kWmOverLoad)
        Append(&text, kOverLoadName, ", ");
    if (const int bars = std::popcount(static_cast<unsigned>(shown.wm & kWmBars)); bars > 0)
        Append(&text, std::to_string(bars) + " of 6 bars", ", ");
    return text;
}

}  // namespace lumeq::reading
