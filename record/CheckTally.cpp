#include "record/CheckTally.h"

#include "record/Decimal.h"

namespace record {

void CheckTally::Add(const CapturedReading& reading) {
    if (!reading.check) {
        ++unchecked;
        return;
    }
    switch (reading.check->verdict) {
        case Verdict::kUnder:
            ++under;
            break;
        case Verdict::kOk:
            ++ok;
            break;
        case Verdict::kOver:
            ++over;
            break;
    }
}

std::string CheckTally::Text() const {
    const std::uint64_t checked = under + ok + over;
    std::string text;
    if (checked == 0) {
        text = "No weighing checked yet";
    } else {
        const auto yield = QuotientText(Decimal{static_cast<WideInt>(ok) * 100, 0},
                                        Decimal{static_cast<WideInt>(checked), 0}, 1, 1);
        text = std::to_string(under) + " under, " + std::to_string(ok) + " ok, " +
               std::to_string(over) + " over: yield " + yield.value_or("?") + " %";
    }
    if (unchecked != 0)
        text += "; " + std::to_string(unchecked) + " without a verdict";
    return text;
}

}  // namespace record
