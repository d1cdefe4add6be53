#pragma once

// Whether some program holds a serial device, and a way for a test to hold one itself.

#include <string>

namespace apptest {

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

}  // namespace apptest
