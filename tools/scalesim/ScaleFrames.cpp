#include "tools/scalesim/ScaleFrames.h"

#include <algorithm>

namespace scalesim {

namespace {

constexpr auto& kDigitGlyphs = scale::kDigitShapes;

}  // namespace

std::uint8_t BarMask(int count) {
    count = std::clamp(count, 0, kBarCount);
    return static_cast<std::uint8_t>(((1u << count) - 1u) << 1);
}

Frame EncodeFrame(const DisplaySlots& slots) {
    return scale::FrameOf(slots);
}

std::optional<DisplaySlots> DecodeFrame(std::span<const std::uint8_t> bytes) {
    if (bytes.size() != kFrameSize || !scale::StartsFrame(bytes[0], bytes[1]))
        return std::nullopt;
    Frame frame;
    std::copy(bytes.begin(), bytes.end(), frame.begin());
    return scale::SlotsOf(frame);
}

std::uint8_t DigitGlyph(int digit) {
    return digit >= 0 && digit <= 9 ? kDigitGlyphs[static_cast<std::size_t>(digit)] : 0;
}

std::optional<DigitCells> FormatWeight(std::string_view text) {
    // Built from the right, because the cells are right-aligned and a point belongs to the
    // cell on its left.
    DigitCells cells{};
    std::size_t used = 0;
    bool pointPending = false;
    bool sawPoint = false;
    for (auto it = text.rbegin(); it != text.rend(); ++it) {
        const char c = *it;
        if (c == '.') {
            if (sawPoint)
                return std::nullopt;
            pointPending = sawPoint = true;
            continue;
        }
        std::uint8_t glyph = 0;
        if (c >= '0' && c <= '9')
            glyph = DigitGlyph(c - '0');
        else if (c == '-')
            glyph = kGlyphMinus;
        else if (c != ' ')
            return std::nullopt;
        if (used == cells.size())
            return std::nullopt;
        if (pointPending)
            glyph |= kSegPoint;
        pointPending = false;
        cells[cells.size() - 1 - used++] = glyph;
    }
    if (pointPending) {  // ".5": the point stands on a blank cell of its own
        if (used == cells.size())
            return std::nullopt;
        cells[cells.size() - 1 - used] = kSegPoint;
    }
    return cells;
}

std::string WeightText(std::int64_t counts, int decimals) {
    const bool negative = counts < 0;
    // Unsigned wrap-around gives the magnitude even of the most negative value.
    const auto raw = static_cast<unsigned long long>(counts);
    std::string digits = std::to_string(negative ? 0ull - raw : raw);
    if (decimals > 0) {
        const auto width = static_cast<std::size_t>(decimals) + 1;
        if (digits.size() < width)
            digits.insert(0, width - digits.size(), '0');
        digits.insert(digits.size() - static_cast<std::size_t>(decimals), 1, '.');
    }
    return negative ? "-" + digits : digits;
}

std::string ReadingText(const DigitCells& cells) {
    std::string text;
    for (const std::uint8_t cell : cells) {
        const std::uint8_t glyph = cell & static_cast<std::uint8_t>(~kSegPoint);
        const auto digit = std::find(kDigitGlyphs.begin(), kDigitGlyphs.end(), glyph);
        if (glyph == 0)
            text += ' ';
        else if (glyph == kGlyphMinus)
            text += '-';
        else if (digit != kDigitGlyphs.end())
            text += static_cast<char>('0' + (digit - kDigitGlyphs.begin()));
        else
            text += '?';
        if (cell & kSegPoint)
            text += '.';
    }
    text.erase(0, text.find_first_not_of(' '));
    return text;
}

}  // namespace scalesim
