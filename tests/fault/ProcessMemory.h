#pragma once

// The memory this process holds in RAM.

#include <unistd.h>

#include <cstddef>
#include <fstream>

namespace faulttest {

// Resident set size in bytes; 0 when it cannot be read.
inline std::size_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0;
    std::size_t resident = 0;
    if (!(statm >> pages >> resident))
        return 0;
    return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

}  // namespace faulttest
