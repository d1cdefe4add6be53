#pragma once

#include <sys/types.h>

#include <vector>

namespace bench {

// CPU time of the whole process (every thread), in seconds.
double ProcessCpuSeconds();
// The same for another process of this user, to the nanosecond (the scheduler's tick would
// count a reader that idles most of the time in steps of 10 ms); -1 when it cannot be read.
double ProcessCpuSeconds(pid_t pid);

// The value at fraction `p` (0..1) of the sorted values, nearest rank below; 0 when empty.
double Percentile(std::vector<double> values, double p);

}  // namespace bench
