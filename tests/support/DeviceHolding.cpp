#include "tests/support/DeviceHolding.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "tests/support/ChildProcess.h"

namespace testing_support {

bool IsHeld(const std::string& path) {
    const posix::UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        return errno == EBUSY;
    return ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

DeviceLock::DeviceLock(const std::string& path)
    : m_fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    if (m_fd && ::flock(m_fd.Get(), LOCK_EX | LOCK_NB) != 0)
        m_fd.Reset();
}

DeviceHolder::DeviceHolder(const std::string& devicePath) {
    std::optional<Pipe> ready = MakePipe();
    std::optional<Pipe> release = MakePipe();
    if (!ready || !release)
        return;
    m_pid = ::fork();
    if (m_pid == 0) {
        ready->read.Reset();
        release->write.Reset();
        const int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        const char held = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
        WriteAll(ready->write.Get(), std::string(1, held));
        ready->write.Reset();
        // Holds on until the test lets go (or goes away).
        ReadToEnd(release->read.Get());
        ::_exit(0);
    }
    ready->write.Reset();
    release->read.Reset();
    m_release = std::move(release->write);
    if (m_pid > 0)
        m_holding = ReadToEnd(ready->read.Get()) == "y";
}

DeviceHolder::~DeviceHolder() {
    m_release.Reset();
    if (m_pid > 0)
        WaitForChild(m_pid);
}

}  // namespace testing_support
