#include "tools/peers/RunProgram.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "tools/peers/TestFiles.h"

extern char** environ;

namespace testing_support {

int WaitForChild(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& scratchDir, std::optional<uid_t> asUser) {
    const std::string outPath = scratchDir + "/run.out";
    const std::string errPath = scratchDir + "/run.err";
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    ProgramRun run;
    const pid_t pid = ::fork();
    if (pid < 0)
        return run;
    if (pid == 0) {
        // Only async-signal-safe calls from here on.
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0)
            ::_exit(126);
        if (asUser &&
            (::setgroups(0, nullptr) != 0 || ::setgid(*asUser) != 0 || ::setuid(*asUser) != 0))
            ::_exit(126);
        ::execve(program.c_str(), argv.data(), environ);
        ::_exit(127);
    }
    run.exitStatus = WaitForChild(pid);
    run.out = ReadFile(outPath);
    run.err = ReadFile(errPath);
    return run;
}

}  // namespace testing_support
