#pragma once

// Check weighing: each captured weighing against a target with tolerances, or against two
// limits, the limits themselves counting as ok. Compared as exact decimals; a reading in another
// unit of mass is converted exactly. A reading without a number, or in a unit that does not
// convert to the rule's (pcs against g), gets no verdict. Plain C++.

#include <optional>
#include <string>
#include <string_view>

#include "record/Decimal.h"
#include "scale/Reading.h"

namespace record {

enum class Verdict { kUnder, kOk, kOver };

// "under", "ok", "over": the names the forms write.
std::string_view VerdictName(Verdict verdict);

struct CheckRule {
    std::optional<Decimal> target;  // none for limits alone
    Decimal low;
    Decimal high;
    // The unit of the target and the limits; empty: whatever unit the scale shows, unconverted.
    std::string unit;
    int places = 0;  // the most places the target and the limits were given with
};

// "500g,-2,+5": a target and how far below and above it a weighing may be, in the target's
// unit (the signs may be left out). None, with the reason in `error`, for anything else.
std::optional<CheckRule> ParseCheck(std::string_view text, std::string* error);
// "498g,505g": the lowest and the highest weight that are ok. A unit given with one limit only
// counts for both.
std::optional<CheckRule> ParseCheckLimits(std::string_view text, std::string* error);

// "500 g -2 +5" or "498 g .. 505 g": for windows and tickets.
std::string RuleText(const CheckRule& rule);
// "500g,-2,+5" or "498g,505g": the rule as --check or --check-limits takes it.
std::string RuleArgument(const CheckRule& rule);

struct CheckResult {
    Verdict verdict = Verdict::kOk;
    // A decimal in the rule's unit: the weighing less the target, or, for limits alone, how far
    // beyond the nearer limit it is ("0" within them). Exact where the units allow; rounded at
    // six places beyond the reading's when a conversion has no end.
    std::string deviation;
    std::string unit;  // the deviation's: the rule's, or the reading's when the rule has none

    bool operator==(const CheckResult&) const = default;
};

std::optional<CheckResult> CheckOf(const CheckRule& rule, const scale::Reading& reading);

// The weight `reading` shows, in `unit` (empty: as shown), as an exact decimal scaled so that
// one `unit` is one; `grams` then says how many grams one `unit` is. None when the reading has no
// number or its unit does not convert.
struct Weight {
    Decimal grams;    // the reading in grams, or as shown when no unit is asked for
    Decimal perUnit;  // grams in one of the asked unit; 1 when none is asked for
    int shownPlaces = 0;
};
std::optional<Weight> WeightOf(const scale::Reading& reading, std::string_view unit);

}  // namespace record
