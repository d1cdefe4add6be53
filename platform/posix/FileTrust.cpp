#include "platform/posix/FileTrust.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <vector>

#include "platform/posix/AccessList.h"
#include "platform/posix/Accounts.h"
#include "platform/posix/Printable.h"
#include "platform/posix/SystemError.h"

namespace posix {

namespace {

bool IsTrustedOwner(uid_t uid) {
    return uid == 0 || uid == geteuid();
}

std::vector<char> LookupBuffer() {
    const long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    return std::vector<char>(size > 0 ? static_cast<std::size_t>(size) : 16384);
}

// Whether a user other than the running one (or root) belongs to group `gid`. An unknown group
// counts as having other members.
bool GroupHasOtherMembers(gid_t gid) {
    const auto found = posix::LookUpGroup(gid);
    if (!found)
        return true;
    for (const std::string& member : found->members) {
        const auto user = posix::LookUpUser(member);
        if (!user || !IsTrustedOwner(user->uid))
            return true;
    }
    // getpwent keeps one cursor per process.
    static std::mutex cursor;
    std::lock_guard lock(cursor);
    bool other = false;
    setpwent();
    std::vector<char> line = LookupBuffer();
    passwd user{};
    passwd* next = nullptr;
    while (!other && getpwent_r(&user, line.data(), line.size(), &next) == 0 && next)
        other = next->pw_gid == gid && !IsTrustedOwner(next->pw_uid);
    endpwent();
    return other;
}

std::string GroupName(gid_t gid) {
    const std::string number = "gid " + std::to_string(gid);
    const auto found = posix::LookUpGroup(gid);
    return found ? found->name + " (" + number + ")" : number;
}

const char* RoleName(FileRole role) {
    switch (role) {
        case FileRole::kFolder:
            return "the folder ";
        case FileRole::kLink:
            return "the symbolic link ";
        case FileRole::kFile:
            break;
    }
    return "the file ";
}

}  // namespace

std::string UserName(uid_t uid) {
    const std::string number = "uid " + std::to_string(uid);
    const auto found = posix::LookUpUser(uid);
    return found ? found->name + " (" + number + ")" : number;
}

std::string UntrustedBecause(const struct stat& st, const std::string& path, FileRole role,
                             int fd) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    const std::string what = RoleName(role) + Printable(path);
    const std::string facts = " (owner " + UserName(st.st_uid) + ", mode " + mode + ")";
    if (!IsTrustedOwner(st.st_uid))
        return what + " belongs to another user" + facts;
    // Only the owner of a link's folder can replace a link; its own mode means nothing.
    if (role == FileRole::kLink)
        return {};
    const bool sticky = role == FileRole::kFolder && (st.st_mode & S_ISVTX);
    if ((st.st_mode & S_IWOTH) && !sticky)
        return what + " can be written by every user" + facts;
    // With an access list the group bits are its mask: without write there, no entry can.
    if (!(st.st_mode & S_IWGRP) || sticky)
        return {};
    AclWriters acl;
    if (fd < 0) {
        acl.owningGroup = true;
    } else if (const int e = ReadAclWriters(fd, &acl); e != 0) {
        return what +
               " can be written by its group, and its access control list cannot be "
               "read (" +
               posix::ErrnoText(e) + ")" + facts;
    }
    const std::string listed = " through its access control list";
    for (uid_t uid : acl.users) {
        if (!IsTrustedOwner(uid))
            return what + " can be written by the user " + UserName(uid) + listed + facts;
    }
    for (gid_t gid : acl.groups) {
        if (GroupHasOtherMembers(gid))
            return what + " can be written by the group " + GroupName(gid) + listed +
                   ", which has other members" + facts;
    }
    if (acl.owningGroup && GroupHasOtherMembers(st.st_gid))
        return what + " can be written by the group " + GroupName(st.st_gid) +
               ", which has other members" + facts;
    return {};
}

std::string TrustAdvice() {
    return "files that decide which code runs are used only when they and every folder above "
           "them belong to you or root and no one else can write them: fix the owner, mode or "
           "access list (chown, chmod go-w, setfacl -b) or use another file";
}

}  // namespace posix
