#pragma once

#include <vector>

namespace bench {

// CPU time of the whole process (every thread), in seconds.
double ProcessCpuSeconds();

// The value at fraction `p` (0..1) of the sorted values, nearest rank below; 0 when empty.
double Percentile(std::vector<double> values, double p);

}  // namespace bench
