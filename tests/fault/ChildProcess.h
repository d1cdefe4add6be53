#pragma once

// Faults that need another process: a program that holds a device, a user who may not open one.
// The child runs no test assertions; it tells the test what it saw through a pipe.
//
// REQUIRES: called on a thread of the test while no other thread of the test holds a lock the
// child needs (start peers that run threads after the child, or use plain pseudo-terminals).

#include <sys/types.h>

#include <functional>
#include <string>

namespace faulttest {

inline constexpr uid_t kNobody = 65534;

struct ChildOutcome {
    int exitStatus = -1;  // -1 when the child did not exit normally
    std::string report;   // what the child wrote into its report
};

// Runs `body` in a forked child that has become user and group nobody. `body` returns the
// child's exit status and may fill its report.
ChildOutcome RunAsNobody(const std::function<int(std::string& report)>& body);
// The same, as this user unless `asNobody`.
ChildOutcome RunInChild(const std::function<int(std::string& report)>& body, bool asNobody);

// Another program that holds a device: a child process that opens it and takes its exclusive
// lock, and keeps both until this object is destroyed.
class DeviceHolder {
  public:
    explicit DeviceHolder(const std::string& devicePath);
    ~DeviceHolder();
    DeviceHolder(const DeviceHolder&) = delete;
    DeviceHolder& operator=(const DeviceHolder&) = delete;

    // The child holds the device (it has taken the lock and waits).
    bool Holding() const { return m_holding; }

  private:
    pid_t m_pid = -1;
    int m_release = -1;  // the child waits for end-of-file on the other end
    bool m_holding = false;
};

}  // namespace faulttest
