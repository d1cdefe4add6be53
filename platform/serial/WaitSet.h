#pragma once

// Waiting on several objects at once.

#include <chrono>
#include <cstddef>
#include <span>

#include "platform/serial/PortError.h"
#include "platform/serial/Waitable.h"

namespace serial_port {

struct WaitResult {
    enum class Status { kSignalled, kTimedOut, kFailed };
    Status status = Status::kTimedOut;
    // Position of the signalled object; when several are, the lowest position wins.
    std::size_t index = 0;
    // The object at `index` reports a hang-up or an error (a device that went away).
    bool hungUp = false;
    PortError error;  // set with kFailed
};

inline constexpr std::chrono::milliseconds kWaitForever{-1};

// Sleeps until one of `items` is signalled or `timeout` passed. Null entries and entries without
// a descriptor are skipped.
WaitResult WaitForAny(std::span<const Waitable* const> items,
                      std::chrono::milliseconds timeout = kWaitForever);

}  // namespace serial_port
