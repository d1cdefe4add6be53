#pragma once

// This process's memory and CPU time, as the kernel accounts them.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace soak {

// The value in kB of a "Name:   1234 kB" line of a /proc status text.
std::optional<long> StatusKb(std::string_view statusText, std::string_view field);

// The current /proc/self/status; empty when it cannot be read.
std::string ReadOwnStatus();

// "100 104*3 110": the values in order, a run of equal values as VALUE*COUNT.
std::string CompactSeries(const std::vector<long>& values);

}  // namespace soak
