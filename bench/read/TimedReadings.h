#pragma once

// The readings karvel-read printed with --capture every, each numbered by its weight, beside the
// moments the bench wrote their lines: how far the reader's time_us lies from each write.

#include <string>
#include <vector>

namespace bench {

// Microseconds since the epoch, the clock karvel-read's time_us is on.
long long NowUs();

struct TimedReading {
    long index;  // the line's number, sent as its weight
    long long timeUs;
};

// The readings in karvel-read's JSON lines at `path`.
std::vector<TimedReading> ReadingsIn(const std::string& path);

// time_us minus the moment line `index` was written (`sent[index]`), for each reading whose
// line was sent.
std::vector<double> SinceWritten(const std::vector<long long>& sent,
                                 const std::vector<TimedReading>& reads);

}  // namespace bench
