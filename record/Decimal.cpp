#include "record/Decimal.h"

#include <algorithm>
#include <array>
#include <utility>

namespace record {

namespace {

constexpr int kMaxFigures = 18;

std::optional<WideInt> Times(WideInt a, WideInt b) {
    WideInt product = 0;
    if (__builtin_mul_overflow(a, b, &product))
        return std::nullopt;
    return product;
}

std::optional<WideInt> PowerOfTen(int exponent) {
    WideInt power = 1;
    for (int i = 0; i < exponent; ++i) {
        const auto next = Times(power, 10);
        if (!next)
            return std::nullopt;
        power = *next;
    }
    return power;
}

// `value` with `places` places (at least its own).
std::optional<WideInt> Scaled(Decimal value, int places) {
    const auto power = PowerOfTen(places - value.places);
    return power ? Times(value.figures, *power) : std::nullopt;
}

// Both on the larger of their places.
std::optional<std::pair<WideInt, WideInt>> Aligned(Decimal a, Decimal b, int* places) {
    *places = std::max(a.places, b.places);
    const auto x = Scaled(a, *places);
    const auto y = Scaled(b, *places);
    if (!x || !y)
        return std::nullopt;
    return std::pair{*x, *y};
}

std::string Figures(WideInt magnitude) {
    std::string text;
    do {
        text += static_cast<char>('0' + static_cast<int>(magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    std::reverse(text.begin(), text.end());
    return text;
}

// The text of `figures` / 10^places.
std::string Text(WideInt figures, int places) {
    const bool negative = figures < 0;
    std::string digits = Figures(negative ? -figures : figures);
    if (static_cast<int>(digits.size()) <= places)
        digits.insert(0, static_cast<std::size_t>(places) + 1 - digits.size(), '0');
    if (places > 0)
        digits.insert(digits.size() - static_cast<std::size_t>(places), ".");
    return (negative && figures != 0 ? "-" : "") + digits;
}

struct MassUnit {
    std::string_view name;
    Decimal grams;
};

constexpr std::array<MassUnit, 9> kMassUnits = {{
    {"mg", {1, 3}},
    {"g", {1, 0}},
    {"kg", {1000, 0}},
    {"t", {1000000, 0}},
    {"ct", {2, 1}},
    {"lb", {45359237, 5}},
    {"oz", {28349523125, 9}},
    {"st", {635029318, 5}},
    {"viss", {1632932532, 6}},
}};

}  // namespace

std::optional<Decimal> ParseDecimal(std::string_view text) {
    Decimal value;
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int figures = 0;
    bool point = false;
    for (const char c : text) {
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            if (++figures > kMaxFigures)
                return std::nullopt;
            value.figures = value.figures * 10 + (c - '0');
            value.places += point ? 1 : 0;
        } else {
            return std::nullopt;
        }
    }
    if (figures == 0)
        return std::nullopt;
    if (negative)
        value.figures = -value.figures;
    return value;
}

int PlacesOf(std::string_view text) {
    const std::size_t point = text.find('.');
    return point == std::string_view::npos ? 0 : static_cast<int>(text.size() - point - 1);
}

std::optional<int> Compare(Decimal a, Decimal b) {
    int places = 0;
    const auto both = Aligned(a, b, &places);
    if (!both)
        return std::nullopt;
    return both->first < both->second ? -1 : both->first > both->second ? 1 : 0;
}

std::optional<Decimal> Add(Decimal a, Decimal b) {
    int places = 0;
    const auto both = Aligned(a, b, &places);
    WideInt sum = 0;
    if (!both || __builtin_add_overflow(both->first, both->second, &sum))
        return std::nullopt;
    return Decimal{sum, places};
}

std::optional<Decimal> Subtract(Decimal a, Decimal b) {
    return Add(a, Decimal{-b.figures, b.places});
}

std::optional<Decimal> Multiply(Decimal a, Decimal b) {
    const auto product = Times(a.figures, b.figures);
    if (!product)
        return std::nullopt;
    return Decimal{*product, a.places + b.places};
}

std::optional<std::string> QuotientText(Decimal numerator, Decimal denominator, int minPlaces,
                                        int maxPlaces) {
    if (denominator.figures == 0)
        return std::nullopt;
    if (denominator.figures < 0) {
        numerator.figures = -numerator.figures;
        denominator.figures = -denominator.figures;
    }
    for (int places = minPlaces;; ++places) {
        // numerator / denominator * 10^places, as n / d.
        const int exponent = denominator.places + places - numerator.places;
        const auto up = PowerOfTen(std::max(exponent, 0));
        const auto down = PowerOfTen(std::max(-exponent, 0));
        if (!up || !down)
            return std::nullopt;
        const auto n = Times(numerator.figures, *up);
        const auto d = Times(denominator.figures, *down);
        if (!n || !d)
            return std::nullopt;
        const WideInt whole = *n / *d;
        const WideInt rest = *n % *d;
        if (rest == 0)
            return Text(whole, places);
        if (places >= maxPlaces) {
            const WideInt twice = (rest < 0 ? -rest : rest) * 2;
            return Text(twice >= *d ? whole + (*n < 0 ? -1 : 1) : whole, places);
        }
    }
}

std::optional<std::string> DecimalText(Decimal value, int places) {
    return QuotientText(value, Decimal{1, 0}, places, places);
}

std::optional<Decimal> GramsPer(std::string_view unit) {
    for (const MassUnit& known : kMassUnits) {
        if (known.name == unit)
            return known.grams;
    }
    return std::nullopt;
}

std::optional<Quantity> ParseQuantity(std::string_view text) {
    const std::size_t end = text.find_first_not_of("+-.0123456789");
    std::string_view unit = end == std::string_view::npos ? std::string_view{} : text.substr(end);
    while (unit.starts_with(' '))
        unit.remove_prefix(1);
    const auto value = ParseDecimal(text.substr(0, end));
    if (!value || (!unit.empty() && !GramsPer(unit)))
        return std::nullopt;
    return Quantity{*value, std::string(unit)};
}

}  // namespace record
