#pragma once

// Runs a program to completion and collects what it printed, for tests of command-line tools.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace testing_support {

struct ProgramRun {
    int exitStatus = -1;  // -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs `program` with `args` in the current environment, as user and group `asUser` when given
// (which needs root); its output goes through files in `scratchDir`.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& scratchDir, std::optional<uid_t> asUser = std::nullopt);

}  // namespace testing_support
