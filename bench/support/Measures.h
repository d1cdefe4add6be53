#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

namespace bench {

// CPU time of the whole process (every thread), in seconds.
double ProcessCpuSeconds();
// The same for another process of this user, to the nanosecond (the scheduler's tick would
// count a reader that idles most of the time in steps of 10 ms); -1 when it cannot be read.
double ProcessCpuSeconds(pid_t pid);

// The resident memory of a process of this user, in kB; 0 when it cannot be read.
double ResidentKb(pid_t pid);

// The value at fraction `p` (0..1) of the sorted values, nearest rank below; 0 when empty.
double Percentile(std::vector<double> values, double p);

// Prints `figure: NAME = VALUE UNIT`, the line the benchmarks' readers look for.
void Figure(const std::string& name, double value, const char* unit);

// The lines (newlines) in the file at `path` so far; 0 when it cannot be read.
std::size_t LinesIn(const std::string& path);

// A program with its standard output in `outPath`; End stops it (SIGTERM) and waits.
pid_t Spawn(std::vector<std::string> argv, const std::string& outPath);
void End(pid_t pid);

}  // namespace bench
