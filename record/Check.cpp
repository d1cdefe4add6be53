#include "record/Check.h"

#include <algorithm>
#include <vector>

namespace record {

namespace {

// Places beyond the reading's at which a deviation with no exact decimal is rounded.
constexpr int kExtraPlaces = 6;

std::vector<std::string_view> Split(std::string_view text) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find(',', start), text.size());
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// A tolerance: a decimal of 0 or more, its sign `sign` or none.
std::optional<Decimal> Tolerance(std::string_view text, char sign) {
    if (!text.empty() && text.front() == sign)
        text.remove_prefix(1);
    if (text.empty() || text.front() == '-' || text.front() == '+')
        return std::nullopt;
    return ParseDecimal(text);
}

// "250,5g": a figure on each side of a comma, typed as a decimal comma; here commas part the rule.
bool HoldsDecimalComma(std::string_view text) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        if (text[i] == ',' && digit(text[i - 1]) && digit(text[i + 1]))
            return true;
    }
    return false;
}

constexpr char kDecimalPoint[] =
    "use a decimal point, as in 250.5g (commas part the target from its tolerances or limits)";

std::string Shown(Decimal value, int places) {
    return DecimalText(value, places).value_or("?");
}

}  // namespace

std::string_view VerdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::kUnder:
            return "under";
        case Verdict::kOk:
            return "ok";
        case Verdict::kOver:
            return "over";
    }
    return {};
}

std::optional<CheckRule> ParseCheck(std::string_view text, std::string* error) {
    const auto parts = Split(text);
    std::optional<Quantity> target;
    std::optional<Decimal> below;
    std::optional<Decimal> above;
    if (parts.size() == 3) {
        target = ParseQuantity(parts[0]);
        below = Tolerance(parts[1], '-');
        above = Tolerance(parts[2], '+');
    }
    if (!target || target->value.figures < 0 || !below || !above) {
        *error = HoldsDecimalComma(text)
                     ? kDecimalPoint
                     : "give TARGET[UNIT],-BELOW,+ABOVE, such as 500g,-2,+5 (units mg g kg t ct lb "
                       "oz st viss)";
        return std::nullopt;
    }
    CheckRule rule;
    rule.target = target->value;
    const auto low = Subtract(target->value, *below);
    const auto high = Add(target->value, *above);
    if (!low || !high) {
        *error = "the target or a tolerance has too many figures";
        return std::nullopt;
    }
    rule.low = *low;
    rule.high = *high;
    rule.unit = target->unit;
    rule.places = std::max({target->value.places, below->places, above->places});
    return rule;
}

std::optional<CheckRule> ParseCheckLimits(std::string_view text, std::string* error) {
    const auto parts = Split(text);
    std::optional<Quantity> low;
    std::optional<Quantity> high;
    if (parts.size() == 2) {
        low = ParseQuantity(parts[0]);
        high = ParseQuantity(parts[1]);
    }
    if (!low || !high || (!low->unit.empty() && !high->unit.empty() && low->unit != high->unit)) {
        *error = HoldsDecimalComma(text)
                     ? kDecimalPoint
                     : "give LOW[UNIT],HIGH[UNIT] in one unit, such as 498g,505g (units mg g kg t "
                       "ct lb oz st viss)";
        return std::nullopt;
    }
    const auto order = Compare(low->value, high->value);
    if (!order || *order > 0) {
        *error = "the low limit is above the high one";
        return std::nullopt;
    }
    CheckRule rule;
    rule.low = low->value;
    rule.high = high->value;
    rule.unit = low->unit.empty() ? high->unit : low->unit;
    rule.places = std::max(low->value.places, high->value.places);
    return rule;
}

std::string RuleText(const CheckRule& rule) {
    const std::string unit = rule.unit.empty() ? "" : " " + rule.unit;
    if (!rule.target)
        return Shown(rule.low, rule.places) + unit + " .. " + Shown(rule.high, rule.places) + unit;
    const auto below = Subtract(*rule.target, rule.low);
    const auto above = Subtract(rule.high, *rule.target);
    return Shown(*rule.target, rule.target->places) + unit + " -" +
           Shown(below.value_or(Decimal{}), below ? below->places : 0) + " +" +
           Shown(above.value_or(Decimal{}), above ? above->places : 0);
}

std::string RuleArgument(const CheckRule& rule) {
    std::string text = RuleText(rule);
    if (!rule.target) {
        const std::size_t dots = text.find(" .. ");
        text.replace(dots, 4, ",");
    } else {
        for (std::size_t at; (at = text.find(" -")) != std::string::npos;)
            text.replace(at, 2, ",-");
        for (std::size_t at; (at = text.find(" +")) != std::string::npos;)
            text.replace(at, 2, ",+");
    }
    std::erase(text, ' ');
    return text;
}

std::optional<Weight> WeightOf(const scale::Reading& reading, std::string_view unit) {
    if (!reading.number)
        return std::nullopt;
    const auto shown = ParseDecimal(reading.number->exact);
    if (!shown)
        return std::nullopt;
    if (unit.empty())
        return Weight{*shown, Decimal{1, 0}, shown->places};
    const auto from = GramsPer(reading.unit);
    const auto to = GramsPer(unit);
    if (!from || !to)
        return std::nullopt;
    const auto grams = Multiply(*shown, *from);
    if (!grams)
        return std::nullopt;
    return Weight{*grams, *to, shown->places};
}

std::optional<CheckResult> CheckOf(const CheckRule& rule, const scale::Reading& reading) {
    const auto weight = WeightOf(reading, rule.unit);
    if (!weight)
        return std::nullopt;
    // The rule's figures in the weight's terms: grams, or as shown.
    const auto low = Multiply(rule.low, weight->perUnit);
    const auto high = Multiply(rule.high, weight->perUnit);
    if (!low || !high)
        return std::nullopt;
    const auto belowLow = Compare(weight->grams, *low);
    const auto aboveHigh = Compare(weight->grams, *high);
    if (!belowLow || !aboveHigh)
        return std::nullopt;
    CheckResult result;
    result.verdict = *belowLow < 0    ? Verdict::kUnder
                     : *aboveHigh > 0 ? Verdict::kOver
                                      : Verdict::kOk;
    result.unit = rule.unit.empty() ? reading.unit : rule.unit;
    std::optional<Decimal> from;
    if (rule.target)
        from = Multiply(*rule.target, weight->perUnit);
    else if (result.verdict != Verdict::kOk)
        from = result.verdict == Verdict::kUnder ? low : high;
    const auto apart = from ? Subtract(weight->grams, *from) : Decimal{};
    if (!apart)
        return std::nullopt;
    // As many places as the figures compared were given with, more only where a conversion
    // needs them.
    const int places = std::max(
        rule.places, rule.unit.empty() || rule.unit == reading.unit ? weight->shownPlaces : 0);
    const auto deviation = QuotientText(*apart, weight->perUnit, places,
                                        std::max(places, weight->shownPlaces) + kExtraPlaces);
    if (!deviation)
        return std::nullopt;
    result.deviation = *deviation;
    return result;
}

}  // namespace record
