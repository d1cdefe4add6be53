#include "app/readings/Statistics.h"

#include <algorithm>
#include <charconv>
#include <cmath>

void UnitTotals::Add(const Measured& row) {
    if (!row.value) {
        ++m_notNumber;
        return;
    }
    m_lastUnit = row.unit;
    Totals& t = m_units[row.unit];
    const double v = *row.value;
    t.min = t.count == 0 ? v : std::min(t.min, v);
    t.max = t.count == 0 ? v : std::max(t.max, v);
    t.sum += v;
    ++t.count;
    // Welford's running mean and squared distance: no loss from summing large squares.
    const double delta = v - t.mean;
    t.mean += delta / static_cast<double>(t.count);
    t.squares += delta * (v - t.mean);
    t.decimals = std::max(t.decimals, row.decimals);
}

void UnitTotals::Merge(const UnitTotals& later) {
    for (const auto& [unit, b] : later.m_units) {
        Totals& a = m_units[unit];
        if (a.count == 0) {
            a = b;
            continue;
        }
        const double count = static_cast<double>(a.count + b.count);
        const double delta = b.mean - a.mean;
        // Chan's pairwise update of the mean and the squared distance.
        a.squares += b.squares + delta * delta * static_cast<double>(a.count) *
                                     static_cast<double>(b.count) / count;
        a.mean += delta * static_cast<double>(b.count) / count;
        a.min = std::min(a.min, b.min);
        a.max = std::max(a.max, b.max);
        a.sum += b.sum;
        a.count += b.count;
        a.decimals = std::max(a.decimals, b.decimals);
    }
    if (!later.m_units.empty())
        m_lastUnit = later.m_lastUnit;
    m_notNumber += later.m_notNumber;
}

Statistics UnitTotals::Result() const {
    Statistics s;
    s.unit = m_lastUnit;
    s.notNumber = m_notNumber;
    for (const auto& [unit, t] : m_units) {
        if (unit != m_lastUnit) {
            s.otherUnit += t.count;
            continue;
        }
        s.count = t.count;
        s.sum = t.sum;
        s.min = t.min;
        s.max = t.max;
        s.mean = t.mean;
        s.range = t.max - t.min;
        s.deviation = t.count > 1 ? std::sqrt(t.squares / static_cast<double>(t.count - 1)) : 0;
        s.decimals = t.decimals;
    }
    return s;
}

Statistics Summarize(const std::vector<Measured>& rows) {
    UnitTotals totals;
    for (const Measured& row : rows)
        totals.Add(row);
    return totals.Result();
}

namespace {

// With a point whatever the locale: the figures beside the rows, which the scale shows so.
std::string Fixed(double value, int decimals) {
    char text[400];  // the widest double in fixed notation, with its places
    const auto [end, ec] =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return ec == std::errc() ? std::string(text, end) : std::string("?");
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
