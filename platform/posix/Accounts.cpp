#include "platform/posix/Accounts.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>

namespace posix {

namespace {

// A group with thousands of members needs more than the system's suggestion; beyond this an
// entry is taken as unreadable.
constexpr std::size_t kMaxBuffer = 1 << 20;

std::size_t FirstBufferSize(int which) {
    const long size = ::sysconf(which);
    return size > 0 ? static_cast<std::size_t>(size) : 16384;
}

// Calls `lookup(entry, buffer, size, found)` with a buffer that doubles while it is too small.
template <typename Entry, typename Lookup>
bool Look(int sizeHint, Entry& entry, std::vector<char>& buffer, Lookup lookup) {
    buffer.resize(FirstBufferSize(sizeHint));
    for (;;) {
        Entry* found = nullptr;
        const int e = lookup(&entry, buffer.data(), buffer.size(), &found);
        if (e == ERANGE && buffer.size() < kMaxBuffer) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        return e == 0 && found != nullptr;
    }
}

std::optional<UserEntry> FromPasswd(bool found, const passwd& pw) {
    if (!found)
        return std::nullopt;
    return UserEntry{pw.pw_name ? pw.pw_name : "", pw.pw_uid, pw.pw_gid,
                     pw.pw_dir ? pw.pw_dir : ""};
}

}  // namespace

std::optional<UserEntry> LookUpUser(uid_t uid) {
    passwd pw{};
    std::vector<char> buffer;
    return FromPasswd(Look(_SC_GETPW_R_SIZE_MAX, pw, buffer,
                           [uid](passwd* e, char* b, std::size_t n, passwd** f) {
                               return ::getpwuid_r(uid, e, b, n, f);
                           }),
                      pw);
}

std::optional<UserEntry> LookUpUser(const std::string& name) {
    passwd pw{};
    std::vector<char> buffer;
    return FromPasswd(Look(_SC_GETPW_R_SIZE_MAX, pw, buffer,
                           [&name](passwd* e, char* b, std::size_t n, passwd** f) {
                               return ::getpwnam_r(name.c_str(), e, b, n, f);
                           }),
                      pw);
}

std::optional<GroupEntry> LookUpGroup(gid_t gid) {
    group gr{};
    std::vector<char> buffer;
    if (!Look(_SC_GETGR_R_SIZE_MAX, gr, buffer, [gid](group* e, char* b, std::size_t n, group** f) {
            return ::getgrgid_r(gid, e, b, n, f);
        }))
        return std::nullopt;
    GroupEntry entry{gr.gr_name ? gr.gr_name : "", {}};
    for (char** member = gr.gr_mem; member && *member; ++member)
        entry.members.emplace_back(*member);
    return entry;
}

}  // namespace posix
