#pragma once

// Processes a test starts: a forked body that reports through a pipe, and a program run to
// completion with its output collected.
//
// REQUIRES: called on a thread of the test while no other thread of the test holds a lock the
// child needs (start peers that run threads after the child, or use plain pseudo-terminals).

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

inline constexpr uid_t kNobody = 65534;

struct ChildOutcome {
    int exitStatus = -1;  // -1 when the child did not exit normally
    std::string report;   // what the child wrote into its report
};

// Runs `body` in a forked child that has become user and group nobody. `body` returns the
// child's exit status and may fill its report. The child runs no test assertions.
ChildOutcome RunAsNobody(const std::function<int(std::string& report)>& body);
// The same, as this user unless `asNobody`.
ChildOutcome RunInChild(const std::function<int(std::string& report)>& body, bool asNobody);

struct ProgramRun {
    int exitStatus = -1;  // -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs `program` with `args` in the current environment, as user and group `asUser` when given
// (which needs root); its output goes through files in `scratchDir`.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& scratchDir, std::optional<uid_t> asUser = std::nullopt);

// The pieces the runners share: whole writes and reads that retry on EINTR, and the exit status
// of a child (-1 when it did not exit normally).
void WriteAll(int fd, const std::string& text);
std::string ReadToEnd(int fd);
int WaitForChild(pid_t pid);

}  // namespace testing_support
