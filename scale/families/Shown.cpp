#include "scale/families/Shown.h"

#include <algorithm>
#include <utility>

#include "scale/Glyphs.h"

namespace scale::families {

namespace {

constexpr std::size_t kCells = 6;

// `digits` (figures only) rounded half up at `keep` figures; a carry may add one in front.
std::string Rounded(std::string digits, std::size_t keep) {
    const bool up = keep < digits.size() && digits[keep] >= '5';
    digits.resize(keep);
    for (std::size_t i = digits.size(); up && i-- > 0;) {
        if (digits[i] != '9') {
            ++digits[i];
            return digits;
        }
        digits[i] = '0';
    }
    return up ? "1" + digits : digits;
}

}  // namespace

std::optional<std::string> FitToCells(const std::string& exact) {
    const bool negative = exact.starts_with('-');
    const std::string body = negative ? exact.substr(1) : exact;
    const std::size_t point = body.find('.');
    std::string whole = body.substr(0, point);
    std::string decimals = point == std::string::npos ? "" : body.substr(point + 1);
    const std::size_t room = kCells - (negative ? 1 : 0);
    for (;;) {
        if (whole.size() > room)
            return std::nullopt;
        if (whole.size() + decimals.size() <= room)
            break;
        // One decimal fewer, rounded; a carry may widen the integer, so look again.
        const std::size_t keep = room > whole.size() ? room - whole.size() : 0;
        const std::string digits = Rounded(whole + decimals, whole.size() + keep);
        const std::size_t wholeSize = digits.size() - keep;
        whole = digits.substr(0, wholeSize);
        decimals = digits.substr(wholeSize);
    }
    std::string text = (negative ? "-" : "") + whole;
    if (!decimals.empty())
        text += "." + decimals;
    return text;
}

Shown ShownOf(const Reading& reading) {
    Shown shown;
    Slots& values = shown.values;
    const Indicators& lit = reading.indicators;
    values.sign =
        static_cast<std::uint8_t>((lit.stable ? kSignStable : 0) | (lit.zero ? kSignZero : 0) |
                                  (lit.tare ? kSignTare : 0) | (lit.dataSent ? kSignData : 0));
    values.unit =
        static_cast<std::uint8_t>((lit.gross ? kUnitGross : 0) | (lit.net ? kUnitNet : 0));
    if (lit.overLoad)
        values.wm = kWmOverLoad;
    for (unsigned bit = 0; bit < kMassUnitCount; ++bit) {
        if (reading.unit == kUnitNames[bit])
            values.unit |= static_cast<std::uint8_t>(1u << bit);
    }
    if (!reading.unit.empty() && (values.unit & 0x1F) == 0)
        shown.otherUnit = reading.unit;
    // Over or under load and error replies: dashes, as a scale shows what it cannot weigh.
    const auto fitted = reading.number ? FitToCells(reading.number->exact) : std::nullopt;
    if (!fitted) {
        values.hex.fill(kMinusShape);
        return shown;
    }
    std::size_t cell = kCells;
    bool pointNext = false;
    for (auto c = fitted->rbegin(); c != fitted->rend() && cell > 0; ++c) {
        if (*c == '.') {
            pointNext = true;
            continue;
        }
        --cell;
        values.hex[cell] =
            *c == '-' ? kMinusShape : kDigitShapes[static_cast<std::size_t>(*c - '0')];
        if (std::exchange(pointNext, false))
            values.hex[cell] |= kPointSegment;
    }
    return shown;
}

}  // namespace scale::families
