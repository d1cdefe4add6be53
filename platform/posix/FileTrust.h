#pragma once

// The rule for files that decide which code runs (component libraries, the registration store,
// manifests): no user but the running one and root may be able to change them.

#include <sys/stat.h>

#include <string>

namespace posix {

enum class FileRole { kFile, kFolder, kLink };

// Why the file, folder or symbolic link with status `st`, found at `path` and open as `fd`
// (any descriptor, O_PATH too; -1 for a link), could be changed by a user other than the
// running one (or root), or empty when it cannot. Passes: owned by the running user or root,
// and writable by no one else. Folders may be writable by others when they are sticky (like
// /tmp: others cannot remove or replace what they do not own there). A group may write when it
// has no member but the running user (neither in the group database nor as anyone's primary
// group). The access control list counts: a user or group it names may write only under the
// same rules. Any thread.
std::string UntrustedBecause(const struct stat& st, const std::string& path, FileRole role, int fd);

// What to do about a refusal, appended to the reason above.
std::string TrustAdvice();

// "name (uid N)" for a user id, "uid N" when the user is unknown. Any thread.
std::string UserName(uid_t uid);

}  // namespace posix
