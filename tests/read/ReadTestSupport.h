#pragma once

// What the reader's tests share beyond the peers the benchmarks use too: the programs built with
// these tests.

#include <memory>
#include <string>
#include <vector>

#include "tools/peers/ReaderPeers.h"

namespace readtest {

// The reader built with these tests.
std::string ReaderPath();

// The simulator linked as COM1 in `folder`, at 20 frames a second, with `args` added; its output
// up to "ready" is read.
std::unique_ptr<Child> StartSimulator(const std::string& folder,
                                      const std::vector<std::string>& args);

}  // namespace readtest
