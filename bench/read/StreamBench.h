#pragma once

// read_bench stream: a family's lines at 115 200 baud, 600 a second, into karvel-read with
// --capture every, a broker and ten event-stream clients: lines lost at each, and how far each
// reading's time_us lies from the moment its line was written (median, p99).

#include <string>

namespace bench {

// Programs are taken from `binDir`. The exit status of the benchmark.
int Stream(int seconds, const std::string& binDir);

}  // namespace bench
