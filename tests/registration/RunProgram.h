#pragma once

// Runs a program to completion and collects what it printed, for tests of command-line tools.

#include <string>
#include <vector>

namespace testing_support {

struct ProgramRun {
    int exitStatus = -1;  // -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs `program` with `args` in the current environment; its output goes through files in
// `scratchDir`.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& scratchDir);

}  // namespace testing_support
