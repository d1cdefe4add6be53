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

#include "platform/posix/UniqueFd.h"
#include "tools/peers/RunProgram.h"

namespace testing_support {

struct ChildOutcome {
    int exitStatus = -1;  // -1 when the child did not exit normally
    std::string report;   // what the child wrote into its report
};

// Runs `body` in a forked child that has become user and group nobody. `body` returns the
// child's exit status and may fill its report. The child runs no test assertions.
ChildOutcome RunAsNobody(const std::function<int(std::string& report)>& body);
// The same, as this user unless `asNobody`.
ChildOutcome RunInChild(const std::function<int(std::string& report)>& body, bool asNobody);

// The pieces the runners share: whole writes and reads that retry on EINTR (WaitForChild and
// RunProgram are in tools/peers/RunProgram.h).
void WriteAll(int fd, const std::string& text);
std::string ReadToEnd(int fd);

struct Pipe {
    posix::UniqueFd read;
    posix::UniqueFd write;
};
// A new close-on-exec pipe; nullopt when the system refuses one.
std::optional<Pipe> MakePipe();

}  // namespace testing_support
