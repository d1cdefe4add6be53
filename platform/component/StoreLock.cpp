#include "platform/component/StoreLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/component/ErrorText.h"
#include "platform/posix/FileTrust.h"
#include "platform/posix/SystemError.h"

namespace component {

namespace {

// "process 1234 (name)" for the holder of a lock on the file `st`, from /proc/locks; empty
// when the system does not say.
std::string LockHolder(const struct stat& st) {
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        // "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF" (an entry still waiting has "->").
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, id;
        if (!(fields >> number >> kind) || kind == "->" || kind != "FLOCK" ||
            !(fields >> mode >> access >> pid >> id))
            continue;
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(id.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3 ||
            major != ::major(st.st_dev) || minor != ::minor(st.st_dev) || inode != st.st_ino)
            continue;
        std::string name;
        std::getline(std::ifstream("/proc/" + pid + "/comm"), name);
        return "process " + pid + (name.empty() ? "" : " (" + Printable(name) + ")");
    }
    return {};
}

}  // namespace

Result LockStore(int folder, const std::string& name, const std::string& lockPath,
                 std::chrono::milliseconds wait, posix::UniqueFd* lock, std::string* error) {
    const std::string shown = Printable(lockPath);
    auto fail = [&](const std::string& why) {
        lock->Reset();
        *error = "cannot use the lock file " + shown + ": " + why;
        return kRegistryAccess;
    };
    *lock = posix::UniqueFd(
        openat(folder, name.c_str(),
               O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
    if (!*lock) {
        const int e = errno;
        return fail(e == ELOOP ? "it is a symbolic link; remove it" : posix::ErrnoText(e));
    }
    struct stat st {};
    if (fstat(lock->Get(), &st) != 0)
        return fail(posix::ErrnoText(errno));
    if (!S_ISREG(st.st_mode))
        return fail("it is not a regular file; remove it");
    if (st.st_uid != geteuid())
        return fail("it belongs to " + posix::UserName(st.st_uid) + ", not to you; remove it");

    // Polled rather than blocked on, so that the wait has an end; writers hold the lock for a
    // few milliseconds.
    const auto deadline = std::chrono::steady_clock::now() + wait;
    std::chrono::milliseconds pause{5};
    for (;;) {
        if (flock(lock->Get(), LOCK_EX | LOCK_NB) == 0)
            return kOk;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            return fail("cannot lock it: " + posix::ErrnoText(errno));
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds{100});
    }
    const std::string holder = LockHolder(st);
    lock->Reset();
    *error = "the lock file " + shown + " is held by " +
             (holder.empty() ? "another process" : holder) +
             (wait.count() > 0 ? " (waited " + std::to_string(wait.count()) + " ms)" : "") +
             ": another registration is running; try again when it has ended";
    return kRegistryAccess;
}

}  // namespace component
