#include "Statistics.h"

#include <cmath>
#include <cstdio>

Statistics Summarize(const std::vector<Measured>& rows) {
    Statistics s;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        if (it->value) {
            s.unit = it->unit;
            break;
        }
    }
    // Welford's running mean and squared distance: no loss from summing large squares.
    double mean = 0;
    double squares = 0;
    for (const Measured& row : rows) {
        if (!row.value) {
            ++s.notNumber;
            continue;
        }
        if (row.unit != s.unit) {
            ++s.otherUnit;
            continue;
        }
        const double v = *row.value;
        s.min = s.count == 0 ? v : std::min(s.min, v);
        s.max = s.count == 0 ? v : std::max(s.max, v);
        s.sum += v;
        ++s.count;
        const double delta = v - mean;
        mean += delta / static_cast<double>(s.count);
        squares += delta * (v - mean);
        s.decimals = std::max(s.decimals, row.decimals);
    }
    s.mean = mean;
    s.range = s.max - s.min;
    s.deviation = s.count > 1 ? std::sqrt(squares / static_cast<double>(s.count - 1)) : 0;
    return s;
}

namespace {

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

}  // namespace

std::string StatisticsText(const Statistics& s, const std::string& scope) {
    std::string text;
    if (s.count == 0) {
        text = "No " + (scope.empty() ? "" : scope + " ") + "reading is a number";
    } else {
        const std::string unit = s.unit.empty() ? "" : " " + s.unit;
        const int d = s.decimals;
        text = std::to_string(s.count) + (scope.empty() ? "" : " " + scope) +
               (s.count == 1 ? " reading" : " readings") +
               (s.unit.empty() ? " without a unit" : " in " + s.unit) + ": sum " + Fixed(s.sum, d) +
               unit + ", minimum " + Fixed(s.min, d) + unit + ", maximum " + Fixed(s.max, d) +
               unit + ", mean " + Fixed(s.mean, d + 2) + unit + ", standard deviation " +
               Fixed(s.deviation, d + 2) + unit + ", range " + Fixed(s.range, d) + unit;
    }
    if (s.otherUnit > 0)
        text += "; " + std::to_string(s.otherUnit) + " in another unit left out";
    if (s.notNumber > 0)
        text += "; " + std::to_string(s.notNumber) + " not a number left out";
    return text + ".";
}
