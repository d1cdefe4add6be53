#pragma once

// A creator for the panel's display control that makes the real control and counts the Display
// calls reaching it. Every other call passes through unchanged.
//
// Thread: UI thread, like the control.

#include <cstdint>
#include <memory>

#include "app/CLumeq.h"

namespace soak {

struct DisplayCallCount {
    std::uint64_t displayCalls = 0;  // Display calls the control accepted
};

// Makes objects with `make` (component::CreateInstance for the real control) and hands out,
// for the dispatch interface, a counting pass-through of it.
CLumeq::Creator CountingCreator(std::shared_ptr<DisplayCallCount> count, CLumeq::Creator make);

}  // namespace soak
