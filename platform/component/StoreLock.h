#pragma once

// The lock that serialises the writers of a registration store.

#include <chrono>
#include <string>

#include "platform/component/Result.h"
#include "platform/posix/UniqueFd.h"

namespace component {

// How long a writer waits for another process to finish with the store.
inline constexpr std::chrono::milliseconds kStoreLockWait{3000};

// Opens (creating it when missing) the lock file `name` in the open, trusted folder `folder`
// and takes its exclusive lock. The lock file must be a regular file of the running user and
// is never followed when it is a symbolic link. A lock held elsewhere is waited for at most
// `wait`; then the failure names the lock file and, where the system tells, the process that
// holds it. `lockPath` (the full path) is for messages. kRegistryAccess with the reason in
// `error` on failure. The lock lasts as long as `*lock`. Any thread.
Result LockStore(int folder, const std::string& name, const std::string& lockPath,
                 std::chrono::milliseconds wait, posix::UniqueFd* lock, std::string* error);

}  // namespace component
