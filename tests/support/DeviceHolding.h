#pragma once

// Whether some program holds a serial device, and ways for a test to hold one itself: in this
// process, or from another process as a second program would.

#include <sys/types.h>

#include <string>

namespace testing_support {

// True when the device at `path` is held exclusively by someone (it refuses a second opener or
// its lock is taken).
bool IsHeld(const std::string& path);

// Holds `path` the way another program would: open, with an exclusive lock.
class DeviceLock {
  public:
    explicit DeviceLock(const std::string& path);
    ~DeviceLock();
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;
    bool Locked() const { return m_fd >= 0; }

  private:
    int m_fd = -1;
};

// Another program that holds a device: a child process that opens it and takes its exclusive
// lock, and keeps both until this object is destroyed. Same REQUIRES as support/ChildProcess.h.
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

}  // namespace testing_support
