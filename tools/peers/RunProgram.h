#pragma once

// A program run to completion with its output collected, as this user or as another one: what
// the tests and the benchmarks start helpers with (initdb, pg_ctl, karvel-read --verify).

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace testing_support {

inline constexpr uid_t kNobody = 65534;

struct ProgramRun {
    int exitStatus = -1;  // -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs `program` with `args` in the current environment, as user and group `asUser` when given
// (which needs root); its output goes through files in `scratchDir`.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& scratchDir, std::optional<uid_t> asUser = std::nullopt);

// The exit status of a child, waited for through EINTR; -1 when it did not exit normally.
int WaitForChild(pid_t pid);

}  // namespace testing_support
