#pragma once

// The user and group databases, read with the reentrant calls (any thread) and a buffer that
// grows until the entry fits.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace posix {

struct UserEntry {
    std::string name;
    uid_t uid = 0;
    gid_t gid = 0;  // the user's primary group
    std::string home;
};

struct GroupEntry {
    std::string name;
    std::vector<std::string> members;  // the users the group lists (not those it is primary for)
};

// nullopt when there is no such entry or the database cannot be read. Thread: any.
std::optional<UserEntry> LookUpUser(uid_t uid);
std::optional<UserEntry> LookUpUser(const std::string& name);
std::optional<GroupEntry> LookUpGroup(gid_t gid);

}  // namespace posix
