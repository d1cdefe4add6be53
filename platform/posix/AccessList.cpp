#include "platform/posix/AccessList.h"

#include <acl/libacl.h>
#include <sys/acl.h>

#include <cerrno>
#include <memory>

namespace posix {

namespace {

struct AclFree {
    void operator()(void* p) const { acl_free(p); }
};
using AclPointer = std::unique_ptr<std::remove_pointer_t<acl_t>, AclFree>;

bool MayWrite(acl_entry_t entry) {
    acl_permset_t permissions = nullptr;
    return acl_get_permset(entry, &permissions) == 0 && acl_get_perm(permissions, ACL_WRITE) == 1;
}

template <typename Id>
Id Qualifier(acl_entry_t entry) {
    const std::unique_ptr<void, AclFree> id(acl_get_qualifier(entry));
    return id ? *static_cast<const Id*>(id.get()) : Id(-1);
}

}  // namespace

int ReadAclWriters(int fd, AclWriters* out) {
    *out = AclWriters();
    // The descriptor may be O_PATH, which the xattr calls behind acl_get_fd refuse; its /proc
    // link reaches the same file and cannot be swapped.
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const AclPointer acl(acl_get_file(self.c_str(), ACL_TYPE_ACCESS));
    if (!acl)
        return errno;
    bool maskWrites = true;  // no mask: the entries count as they are
    struct Entry {
        acl_tag_t tag;
        bool write;
        acl_entry_t entry;
    };
    std::vector<Entry> entries;
    acl_entry_t entry = nullptr;
    for (int at = ACL_FIRST_ENTRY;; at = ACL_NEXT_ENTRY) {
        const int got = acl_get_entry(acl.get(), at, &entry);
        if (got < 0)
            return errno;
        if (got == 0)
            break;
        acl_tag_t tag = ACL_UNDEFINED_TAG;
        if (acl_get_tag_type(entry, &tag) != 0)
            return errno;
        if (tag == ACL_MASK) {
            out->extended = true;
            maskWrites = MayWrite(entry);
        }
        entries.push_back({tag, MayWrite(entry), entry});
    }
    for (const Entry& e : entries) {
        if (!e.write || !maskWrites)
            continue;
        if (e.tag == ACL_GROUP_OBJ)
            out->owningGroup = true;
        else if (e.tag == ACL_USER)
            out->users.push_back(Qualifier<uid_t>(e.entry));
        else if (e.tag == ACL_GROUP)
            out->groups.push_back(Qualifier<gid_t>(e.entry));
    }
    return 0;
}

}  // namespace posix
