#pragma once

// Waiting on what another process does (a file it writes, a window it shows), looked at every
// 50 ms until it is there or a generous deadline passed.

#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "tools/peers/TestFiles.h"

namespace testing_support {

inline constexpr auto kOtherProcessRecheck = std::chrono::milliseconds(50);

// False when `deadline` passed before `done()` held.
template <typename Done>
bool WaitFor(Done done, std::chrono::steady_clock::duration deadline = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(kOtherProcessRecheck);
    }
    return true;
}

// Until the file at `path` exists and `done(its content)` holds.
template <typename Done>
bool WaitForFile(const std::string& path, Done done,
                 std::chrono::steady_clock::duration deadline = std::chrono::seconds(20)) {
    return WaitFor([&] { return ::access(path.c_str(), F_OK) == 0 && done(ReadFile(path)); },
                   deadline);
}

}  // namespace testing_support
