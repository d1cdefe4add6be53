// Statistics of one unit and the plot's bounded trend.

#include <gtest/gtest.h>

#include "app/readings/Statistics.h"
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

}  // namespace
