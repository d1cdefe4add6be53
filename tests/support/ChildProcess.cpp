#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "tools/peers/TestFiles.h"

extern char** environ;

namespace testing_support {

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

std::optional<Pipe> MakePipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return std::nullopt;
    return Pipe{posix::UniqueFd(fds[0]), posix::UniqueFd(fds[1])};
}

ChildOutcome RunAsNobody(const std::function<int(std::string& report)>& body) {
    return RunInChild(body, true);
}

ChildOutcome RunInChild(const std::function<int(std::string& report)>& body, bool asNobody) {
    ChildOutcome outcome;
    std::optional<Pipe> pipe = MakePipe();
    if (!pipe) {
        outcome.report = "pipe failed";
        return outcome;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        pipe->read.Reset();
        std::string report;
        int status = 100;
        if (!asNobody ||
            (::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0))
            status = body(report);
        else
            report = "cannot become nobody";
        WriteAll(pipe->write.Get(), report);
        ::_exit(status);
    }
    pipe->write.Reset();
    if (pid < 0) {
        outcome.report = "fork failed";
        return outcome;
    }
    outcome.report = ReadToEnd(pipe->read.Get());
    outcome.exitStatus = WaitForChild(pid);
    return outcome;
}

}  // namespace testing_support
