// A message repeated without end is said a few times per period and the rest counted; every one
// is either said or counted, and the count is said once.

#include "mqtt/RepeatLimit.h"

#include <gtest/gtest.h>

#include <chrono>

namespace mqtt {
namespace {

using std::chrono::seconds;

TEST(RepeatLimit, SaysABurstPerPeriodAndCountsTheRest) {
    const struct {
        int at;        // seconds from the start
        int messages;  // this many at that moment
        int said;      // how many of them may be said
        int held;      // what Held answers afterwards (-1: nothing yet)
    } steps[] = {
        {0, 3, 3, -1},  {1, 20000, 2, -1}, {9, 1, 0, -1},  {10, 0, 0, 19999}, {10, 0, 0, -1},
        {11, 7, 5, -1}, {30, 0, 0, 2},     {31, 1, 1, -1}, {100, 0, 0, -1},
    };
    RepeatLimit limit(5, seconds(10));
    const RepeatLimit::Clock::time_point start{};
    int row = 0;
    for (const auto& step : steps) {
        SCOPED_TRACE(row++);
        const auto now = start + seconds(step.at);
        int said = 0;
        for (int n = 0; n < step.messages; ++n)
            said += limit.Allow(now) ? 1 : 0;
        EXPECT_EQ(said, step.said);
        const auto held = limit.Held(now);
        EXPECT_EQ(held ? static_cast<int>(*held) : -1, step.held);
    }
    limit.Allow(start + seconds(101));
    for (int n = 0; n < 9; ++n)
        limit.Allow(start + seconds(101));
    EXPECT_EQ(limit.TakeHeld(), 5u) << "at the end, whatever the period";
    EXPECT_EQ(limit.TakeHeld(), 0u);
}

}  // namespace
}  // namespace mqtt
