#include "tests/support/XServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "tests/support/ChildProcess.h"
#include "tools/peers/TestFiles.h"

namespace testing_support {
namespace {

constexpr int kStartPatienceMs = 20000;

}  // namespace

XServer::XServer() {
    if (::access("/usr/bin/Xvfb", X_OK) != 0) {
        m_why = "Xvfb is not installed";
        return;
    }
    std::optional<Pipe> pipe = MakePipe();
    if (!pipe) {
        m_why = "no pipe";
        return;
    }
    const int writeEnd = pipe->write.Get();
    const pid_t parent = ::getpid();
    m_pid = ::fork();
    if (m_pid == 0) {
        // The server goes with the test, however the test ends.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(1);
        ::fcntl(writeEnd, F_SETFD, 0);
        const std::string fd = std::to_string(writeEnd);
        ::execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "800x600x24",
                "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    pipe->write.Reset();
    // The server writes its display number once it takes clients.
    std::string number;
    pollfd ready{pipe->read.Get(), POLLIN, 0};
    while (number.find('\n') == std::string::npos) {
        const int n = ::poll(&ready, 1, kStartPatienceMs);
        if (n < 0 && errno == EINTR)
            continue;
        char buffer[16];
        const ssize_t got = n > 0 ? ::read(pipe->read.Get(), buffer, sizeof buffer) : 0;
        if (got <= 0) {
            m_why = "Xvfb did not start";
            return;
        }
        number.append(buffer, static_cast<std::size_t>(got));
    }
    m_display = ":" + number.substr(0, number.find('\n'));
}

XServer::~XServer() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        WaitForChild(m_pid);
    }
}

bool XServer::SetLayout(const std::string& layout) const {
    TempDir scratch;
    const ProgramRun run =
        RunProgram("/usr/bin/setxkbmap", {"-display", m_display, layout}, scratch.Path().string());
    return run.exitStatus == 0;
}

}  // namespace testing_support
