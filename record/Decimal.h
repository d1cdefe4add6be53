#pragma once

// Exact decimals for weighing rules: a weight as shown ("502.001") compared, converted between
// units of mass and divided without ever passing through a double, so that a limit is a limit to
// the last figure. Plain C++.

#include <optional>
#include <string>
#include <string_view>

namespace record {

__extension__ typedef __int128 WideInt;

// figures / 10^places.
struct Decimal {
    WideInt figures = 0;
    int places = 0;
};

// "502.001", "-0.50", "+5", ".5", "12.": an optional sign, figures with at most one point, at
// most 18 figures. None for anything else.
std::optional<Decimal> ParseDecimal(std::string_view text);

// Figures after the point of a decimal as written ("12.340": 3, "7": 0): the places a scale
// showed.
int PlacesOf(std::string_view text);

// Every operation answers none when the result would not fit, which no weight a display or an
// option can hold comes near.
std::optional<int> Compare(Decimal a, Decimal b);  // -1, 0 or 1
std::optional<Decimal> Add(Decimal a, Decimal b);
std::optional<Decimal> Subtract(Decimal a, Decimal b);
std::optional<Decimal> Multiply(Decimal a, Decimal b);

// `numerator` / `denominator` with the fewest places from `minPlaces` on that hold it exactly;
// rounded half away from zero at `maxPlaces` when none up to it does. Never "-0". None for a zero
// denominator or an overflow.
std::optional<std::string> QuotientText(Decimal numerator, Decimal denominator, int minPlaces,
                                        int maxPlaces);
// `value` rounded half away from zero to `places`, or padded with zeros to them.
std::optional<std::string> DecimalText(Decimal value, int places);

// Grams in one `unit` of mass, exact by definition: mg 0.001, g 1, kg 1000, t 1 000 000,
// ct 0.2, lb 453.59237, oz 28.349523125 (1/16 lb), st 6350.29318 (14 lb), viss 1632.932532
// (3.6 lb). None for anything else ("pcs", "kg lb", "").
std::optional<Decimal> GramsPer(std::string_view unit);

// A number followed by an optional unit of mass ("500g", "0.5 kg", "2"): the two parts, the unit
// empty when none is given. None when the number is no decimal or the unit no unit of mass.
struct Quantity {
    Decimal value;
    std::string unit;
};
std::optional<Quantity> ParseQuantity(std::string_view text);

}  // namespace record
