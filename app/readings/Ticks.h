#pragma once

// Round ticks for the plot's axes: steps of 1, 2 or 5 times a power of ten for weights, and of
// whole seconds or minutes for times, with the axis widened to whole steps. Plain C++.

#include <cstdint>

struct Ticks {
    double low = 0;
    double high = 1;
    double step = 1;
    int count = 2;     // ticks from low to high, both ends included
    int decimals = 0;  // what a label needs to show the step
};

// The axis over [low, high] with at most `most` ticks. A span of nothing gets a step around it.
Ticks ValueTicks(double low, double high, int most = 7);

// The same for milliseconds since the epoch: steps of 1, 2, 5, 10, 15 or 30 seconds or 1, 2, 5,
// 10, 15, 30 or 60 minutes, or whole hours beyond, each starting on a whole step of the clock.
struct TimeTicks {
    std::int64_t first = 0;
    std::int64_t last = 1000;
    std::int64_t stepMs = 1000;
    int count = 2;
};
TimeTicks ClockTicks(std::int64_t first, std::int64_t last, int most = 7);
