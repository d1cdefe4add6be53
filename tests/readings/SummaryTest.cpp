// Statistics of one unit, the plot's bounded trend and its round ticks.

#include <gtest/gtest.h>

#include <cmath>

#include "app/readings/Statistics.h"
#include "app/readings/Ticks.h"
#include "app/readings/Trend.h"

namespace {

TEST(Statistics, SumOneUnitAndCountWhatIsLeftOut) {
    struct Case {
        std::vector<Measured> rows;
        std::size_t count, otherUnit, notNumber;
        double sum, min, max, mean, deviation;
        std::string unit;
    };
    const Case cases[] = {
        {{}, 0, 0, 0, 0, 0, 0, 0, 0, ""},
        {{{1.5, 1, "kg"}}, 1, 0, 0, 1.5, 1.5, 1.5, 1.5, 0, "kg"},
        // The last number's unit is summed; the others and "----" are counted apart.
        {{{2, 0, "kg"}, {4, 0, "kg"}, {9, 0, "lb"}, {{}, 0, "kg"}, {6, 0, "kg"}},
         3,
         1,
         1,
         12,
         2,
         6,
         4,
         2,
         "kg"},
        {{{-0.5, 2, "lb"}, {0.5, 2, "lb"}, {7, 0, "kg"}}, 1, 2, 0, 7, 7, 7, 7, 0, "kg"},
        // Large equal values: no spread from rounding.
        {{{1e9 + 0.1, 1, "g"}, {1e9 + 0.1, 1, "g"}, {1e9 + 0.1, 1, "g"}},
         3,
         0,
         0,
         3e9 + 0.3,
         1e9 + 0.1,
         1e9 + 0.1,
         1e9 + 0.1,
         0,
         "g"},
    };
    for (const Case& c : cases) {
        const Statistics s = Summarize(c.rows);
        EXPECT_EQ(s.unit, c.unit);
        EXPECT_EQ(s.count, c.count);
        EXPECT_EQ(s.otherUnit, c.otherUnit);
        EXPECT_EQ(s.notNumber, c.notNumber);
        EXPECT_DOUBLE_EQ(s.sum, c.sum);
        EXPECT_DOUBLE_EQ(s.min, c.min);
        EXPECT_DOUBLE_EQ(s.max, c.max);
        EXPECT_DOUBLE_EQ(s.mean, c.mean);
        EXPECT_NEAR(s.deviation, c.deviation, 1e-9);
        EXPECT_DOUBLE_EQ(s.range, c.max - c.min);
    }
}

// The window keeps totals per block of rows and merges them: the same as summing all rows.
TEST(Statistics, MergedTotalsAreThoseOfAllRows) {
    const std::vector<Measured> rows = {{2, 0, "kg"},    {4, 1, "kg"}, {9, 0, "lb"},
                                        {{}, 0, "kg"},   {6, 0, "kg"}, {-0.5, 2, "lb"},
                                        {1.25, 2, "kg"}, {7, 0, "kg"}, {{}, 0, ""}};
    const Statistics whole = Summarize(rows);
    for (std::size_t split = 0; split <= rows.size(); ++split) {
        UnitTotals first;
        UnitTotals later;
        for (std::size_t i = 0; i < rows.size(); ++i)
            (i < split ? first : later).Add(rows[i]);
        first.Merge(later);
        const Statistics merged = first.Result();
        EXPECT_EQ(merged.unit, whole.unit) << split;
        EXPECT_EQ(merged.count, whole.count) << split;
        EXPECT_EQ(merged.otherUnit, whole.otherUnit) << split;
        EXPECT_EQ(merged.notNumber, whole.notNumber) << split;
        EXPECT_EQ(merged.decimals, whole.decimals) << split;
        EXPECT_DOUBLE_EQ(merged.sum, whole.sum) << split;
        EXPECT_DOUBLE_EQ(merged.min, whole.min) << split;
        EXPECT_DOUBLE_EQ(merged.max, whole.max) << split;
        EXPECT_NEAR(merged.mean, whole.mean, 1e-12) << split;
        EXPECT_NEAR(merged.deviation, whole.deviation, 1e-12) << split;
    }
}

TEST(Trend, TenMinutesAtEightyFramesASecondKeepBoundedPointsAndEveryPeak) {
    Trend trend;  // ten minutes in half seconds
    const std::int64_t start = 1'700'000'000'000;
    const int frames = 80 * 60 * 12;  // twelve minutes: the first two are forgotten
    for (int i = 0; i < frames; ++i) {
        const std::int64_t ms = start + i * 1000 / 80;
        // A flat line with one spike a second, up and down.
        const double value = i % 80 == 7 ? 50.0 : (i % 80 == 41 ? -5.0 : 1.0);
        trend.AddValue({ms, value});
        if (i % 80 == 0)
            trend.AddCapture({ms, value});
    }
    EXPECT_LE(trend.BucketCount(), 1201u);
    const std::vector<Trend::Point> line = trend.Line();
    EXPECT_LE(line.size(), 2 * 1201u);
    EXPECT_GE(line.front().ms, start + 2 * 60 * 1000 - 500);
    int spikes = 0;
    int dips = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        spikes += line[i].value == 50.0;
        dips += line[i].value == -5.0;
        if (i > 0) {
            EXPECT_LE(line[i - 1].ms, line[i].ms);
        }
    }
    EXPECT_GE(spikes, 599);
    EXPECT_GE(dips, 599);
    EXPECT_LE(trend.Captures().size(), 601u);
    EXPECT_GE(trend.Captures().size(), 599u);
}

// A step of 1, 2 or 5 times a power of ten, every tick on a whole step, the data within.
TEST(Ticks, ValuesGetRoundStepsThatCoverThem) {
    const struct {
        double low, high;
        double step, first, last;
    } cases[] = {
        {0, 28, 5, 0, 30},
        {-1.4, 29.6, 10, -10, 30},
        {12.3, 12.3, 0.2, 12.2, 12.4},
        {0, 0, 0.001, 0, 0.001},
        {-5, -1, 1, -5, -1},
        {100, 1000, 200, 0, 1000},
        {0.001, 0.004, 0.0005, 0.001, 0.004},
        {13.989, 22.73, 2, 12, 24},
    };
    for (const auto& c : cases) {
        const Ticks t = ValueTicks(c.low, c.high);
        EXPECT_DOUBLE_EQ(t.step, c.step) << c.low << " " << c.high;
        EXPECT_NEAR(t.low, c.first, 1e-12) << c.low << " " << c.high;
        EXPECT_NEAR(t.high, c.last, 1e-12) << c.low << " " << c.high;
        EXPECT_LE(t.count, 7);
        EXPECT_EQ(t.count, std::lround((t.high - t.low) / t.step) + 1);
        EXPECT_LE(t.low, c.low);
        EXPECT_GE(t.high, c.high);
        const double mantissa = t.step / std::pow(10.0, std::floor(std::log10(t.step) + 1e-9));
        EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-9 || std::fabs(mantissa - 2) < 1e-9 ||
                    std::fabs(mantissa - 5) < 1e-9)
            << t.step;
    }
    EXPECT_EQ(ValueTicks(0.001, 0.004).decimals, 4);
    EXPECT_EQ(ValueTicks(0, 28).decimals, 0);
    EXPECT_EQ(ValueTicks(12.3, 12.3).decimals, 1);
}

TEST(Ticks, TimesStepInWholeSecondsOrMinutesOfTheClock) {
    const struct {
        std::int64_t first, last;
        std::int64_t step, from, to;
    } cases[] = {
        {0, 60000, 10000, 0, 60000},
        {1500, 61500, 15000, 0, 75000},
        {0, 600000, 120000, 0, 600000},
        {-500, 500, 1000, -1000, 1000},
        {1'700'000'012'345, 1'700'000'612'345, 120000, 1'699'999'920'000, 1'700'000'640'000},
        // Years apart (a clock set off): still a handful of ticks, of whole hours.
        {0, 3'600'000LL * 24 * 365, 3'600'000LL * 1460, 0, 3'600'000LL * 8760},
    };
    for (const auto& c : cases) {
        const TimeTicks t = ClockTicks(c.first, c.last);
        EXPECT_EQ(t.stepMs, c.step) << c.first;
        EXPECT_EQ(t.first, c.from) << c.first;
        EXPECT_EQ(t.last, c.to) << c.first;
        EXPECT_LE(t.count, 7);
        EXPECT_EQ(t.count, (t.last - t.first) / t.stepMs + 1);
    }
}

// A unit change and a break begin a series; the unit of each is known while its points are.
TEST(Trend, AUnitChangeOrABreakBeginsASeries) {
    Trend trend(std::chrono::seconds(10), std::chrono::milliseconds(500));
    const std::int64_t start = 1'700'000'000'000;
    trend.AddValue({start, 1.0}, "kg");
    trend.AddValue({start + 100, 2.0}, "kg");  // same bucket, same series
    trend.AddValue({start + 200, 4.4}, "lb");  // same bucket, another series
    trend.Break();
    trend.AddValue({start + 5000, 4.4}, "lb");
    trend.AddCapture({start + 5000, 4.4});
    const std::vector<Trend::Point> line = trend.Line();
    ASSERT_EQ(line.size(), 4u);
    EXPECT_EQ(line[0].series, line[1].series);
    EXPECT_NE(line[1].series, line[2].series);
    EXPECT_NE(line[2].series, line[3].series);
    EXPECT_EQ(trend.UnitOf(line[0].series), "kg");
    EXPECT_EQ(trend.UnitOf(line[2].series), "lb");
    EXPECT_EQ(trend.UnitOf(line[3].series), "lb");
    EXPECT_EQ(trend.Captures().back().series, line[3].series);
    // Ten seconds on, the kg points are forgotten, and so is their unit.
    trend.AddValue({start + 14000, 4.4}, "lb");
    EXPECT_EQ(trend.UnitOf(line[0].series), "");
    EXPECT_EQ(trend.UnitOf(line[3].series), "lb");
}

}  // namespace
