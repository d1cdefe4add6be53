#include "scale/Reading.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <string_view>

#include "scale/Glyphs.h"

namespace scale {

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

int Bars(std::uint8_t wm) {
    return std::popcount(static_cast<unsigned>(wm & kWmBars));
}

std::optional<Number> NumberOf(std::string_view text) {
    std::string_view digits = text;
    if (digits.starts_with('-'))
        digits.remove_prefix(1);
    const auto figures =
        std::count_if(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
    const auto points = std::count(digits.begin(), digits.end(), '.');
    if (figures == 0 || points > 1 || figures + points != std::ssize(digits))
        return std::nullopt;
    Number number;
    number.exact = text.substr(0, text.size() - digits.size());
    if (digits.starts_with('.'))
        number.exact += '0';
    number.exact += digits.ends_with('.') ? digits.substr(0, digits.size() - 1) : digits;
    std::from_chars(number.exact.data(), number.exact.data() + number.exact.size(), number.value);
    return number;
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

std::string SpokenText(const Slots& values) {
    std::string text = CellsText(values.hex);
    for (unsigned bit = 0; bit < kUnitNames.size(); ++bit) {
        if ((values.unit >> bit) & 1u)
            Append(&text, kUnitNames[bit], " ");
    }
    for (const IndicatorName& indicator : kSignNames) {
        if (values.sign & indicator.mask)
            Append(&text, indicator.name, ", ");
    }
    if (values.wm & kWmOverLoad)
        Append(&text, kOverLoadName, ", ");
    if (const int bars = Bars(values.wm); bars > 0)
        Append(&text, std::to_string(bars) + " of 6 bars", ", ");
    return text;
}

Reading Read(const Slots& values) {
    Reading reading;
    reading.text = CellsText(values.hex);
    for (unsigned bit = 0; bit < kMassUnitCount; ++bit) {
        if ((values.unit >> bit) & 1u)
            Append(&reading.unit, kUnitNames[bit], " ");
    }
    Indicators& lit = reading.indicators;
    lit.zero = values.sign & kSignZero;
    lit.hold = values.sign & kSignHold;
    lit.stable = values.sign & kSignStable;
    lit.tare = values.sign & kSignTare;
    lit.batteryLow = values.sign & kSignBattery;
    lit.dataSent = values.sign & kSignData;
    lit.gross = values.unit & kUnitGross;
    lit.net = values.unit & kUnitNet;
    lit.overLoad = values.wm & kWmOverLoad;
    lit.bars = Bars(values.wm);
    if (!lit.overLoad)
        reading.number = NumberOf(reading.text);
    return reading;
}

}  // namespace scale
