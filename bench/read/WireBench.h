#pragma once

// read_bench wire: the same family lines, written at the same moments to a pseudo-terminal and
// to a TCP connection (the bench being the scale's server), each read by a karvel-read of its
// own with --capture every: time_us minus the write, p50 and p99 of each wire, and their ratio.

#include <string>

namespace bench {

// Programs are taken from `binDir`. The exit status of the benchmark.
int Wire(int seconds, const std::string& binDir);

}  // namespace bench
