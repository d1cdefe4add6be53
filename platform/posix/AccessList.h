#pragma once

// Who besides the owner may write a file through its access control list (POSIX ACL).

#include <sys/types.h>

#include <string>
#include <vector>

namespace posix {

struct AclWriters {
    bool extended = false;      // the list holds more than the mode bits say
    bool owningGroup = false;   // the file's group may write
    std::vector<uid_t> users;   // named users who may write
    std::vector<gid_t> groups;  // named groups that may write
};

// Reads the access list of the open file or folder `fd` (an O_PATH descriptor too). Write
// permissions are the effective ones, under the list's mask. A file system without access
// lists gives the mode's group bit. Returns 0 or the errno value of the failure. Any thread.
int ReadAclWriters(int fd, AclWriters* out);

}  // namespace posix
