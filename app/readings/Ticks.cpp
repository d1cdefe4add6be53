#include "app/readings/Ticks.h"

#include <algorithm>
#include <cmath>
#include <iterator>

Ticks ValueTicks(double low, double high, int most) {
    if (high < low)
        std::swap(low, high);
    most = std::max(most, 2);
    const double span = high - low;
    // A flat line: a step of about a hundredth of its size, at least 0.001.
    const double wanted = span > 0 ? span / (most - 1) : std::max(std::fabs(low) / 100, 0.001);
    const double power = std::pow(10.0, std::floor(std::log10(wanted)));
    double step = power * 10;
    for (const double factor : {1.0, 2.0, 5.0}) {
        if (power * factor >= wanted * (1 - 1e-9)) {
            step = power * factor;
            break;
        }
    }
    Ticks ticks;
    for (;;) {
        ticks.low = std::floor(low / step + 1e-9) * step;
        ticks.high = std::ceil(high / step - 1e-9) * step;
        if (ticks.high <= ticks.low)
            ticks.high = ticks.low + step;
        ticks.count = static_cast<int>(std::lround((ticks.high - ticks.low) / step)) + 1;
        if (ticks.count <= most)
            break;
        // Widened to whole steps, the axis may need one step more than the span did.
        const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
        step *= mantissa < 1.5 ? 2 : (mantissa < 3 ? 2.5 : 2);
    }
    ticks.step = step;
    ticks.decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
    return ticks;
}

TimeTicks ClockTicks(std::int64_t first, std::int64_t last, int most) {
    static constexpr std::int64_t kSteps[] = {1000,   2000,    5000,   10000,  15000,
                                              30000,  60000,   120000, 300000, 600000,
                                              900000, 1800000, 3600000};
    most = std::max(most, 2);
    if (last <= first)
        last = first + 1000;
    TimeTicks ticks;
    const auto fit = [&](std::int64_t step) {
        ticks.stepMs = step;
        // Floor and ceiling that hold before 1970 too.
        ticks.first = first / step * step - (first % step < 0 ? step : 0);
        ticks.last = last / step * step + (last % step > 0 ? step : 0);
        ticks.count = static_cast<int>((ticks.last - ticks.first) / step) + 1;
        return ticks.count <= most;
    };
    for (const std::int64_t step : kSteps) {
        if (fit(step))
            return ticks;
    }
    // Longer than the steps foresee (a clock set far off): whole hours, still at most `most`.
    const std::int64_t hour = kSteps[std::size(kSteps) - 1];
    const std::int64_t spans = hour * (most - 1);
    for (std::int64_t hours = (last - first + spans - 1) / spans; !fit(hours * hour);)
        ++hours;
    return ticks;
}
