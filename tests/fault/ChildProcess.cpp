#include "ChildProcess.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace faulttest {

namespace {

void WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

std::string ReadToEnd(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return text;
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

int WaitForChild(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

ChildOutcome RunAsNobody(const std::function<int(std::string& report)>& body) {
    return RunInChild(body, true);
}

ChildOutcome RunInChild(const std::function<int(std::string& report)>& body, bool asNobody) {
    ChildOutcome outcome;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        outcome.report = "pipe failed";
        return outcome;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        std::string report;
        int status = 100;
        if (!asNobody ||
            (::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0))
            status = body(report);
        else
            report = "cannot become nobody";
        WriteAll(pipeFds[1], report);
        ::_exit(status);
    }
    ::close(pipeFds[1]);
    if (pid < 0) {
        ::close(pipeFds[0]);
        outcome.report = "fork failed";
        return outcome;
    }
    outcome.report = ReadToEnd(pipeFds[0]);
    ::close(pipeFds[0]);
    outcome.exitStatus = WaitForChild(pid);
    return outcome;
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

}  // namespace faulttest
