#include "support/DeviceHolding.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "support/ChildProcess.h"

namespace testing_support {

bool IsHeld(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EBUSY;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

DeviceLock::DeviceLock(const std::string& path) {
    m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

DeviceLock::~DeviceLock() {
    if (m_fd >= 0)
        ::close(m_fd);
}

DeviceHolder::DeviceHolder(const std::string& devicePath) {
    int ready[2];
    int release[2];
    if (::pipe2(ready, O_CLOEXEC) != 0)
        return;
    if (::pipe2(release, O_CLOEXEC) != 0) {
        ::close(ready[0]);
        ::close(ready[1]);
        return;
    }
    m_pid = ::fork();
    if (m_pid == 0) {
        ::close(ready[0]);
        ::close(release[1]);
        const int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        const char held = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
        WriteAll(ready[1], std::string(1, held));
        ::close(ready[1]);
        // Holds on until the test lets go (or goes away).
        ReadToEnd(release[0]);
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    m_release = release[1];
    if (m_pid > 0)
        m_holding = ReadToEnd(ready[0]) == "y";
    ::close(ready[0]);
}

DeviceHolder::~DeviceHolder() {
    if (m_release >= 0)
        ::close(m_release);
    if (m_pid > 0)
        WaitForChild(m_pid);
}

}  // namespace testing_support
