// The wait before connecting again: it doubles while attempts fail and starts from the first step
// after a connection that came up, however long the waits had grown before it.

#include "mqtt/Backoff.h"

#include <gtest/gtest.h>

#include <chrono>

namespace mqtt {
namespace {

using std::chrono::milliseconds;

TEST(Backoff, DoublesToTheLongestAndStartsAgainAfterAConnection) {
    const struct {
        bool cameUp;
        int wait;
    } steps[] = {
        {false, 1}, {false, 2}, {false, 4}, {false, 8}, {false, 10}, {false, 10},
        {true, 1},  {false, 2}, {true, 1},  {true, 1},  {false, 2},  {false, 4},
    };
    Backoff backoff(milliseconds(1), milliseconds(10));
    int at = 0;
    for (const auto& step : steps) {
        SCOPED_TRACE(at++);
        EXPECT_EQ(backoff.After(step.cameUp), milliseconds(step.wait));
    }
}

}  // namespace
}  // namespace mqtt
