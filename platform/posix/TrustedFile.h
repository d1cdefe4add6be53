#pragma once

// Opening a file or folder that decides which code runs or which line is read (a component
// library, the registration store, a manifest, the port folder) so that no other user can have
// written it or can swap it while it is used.
//
// The path is walked one name at a time from the root. Each folder is checked (FileTrust.h)
// through the descriptor that the next step opens from, each symbolic link on the way must
// belong to the running user or root, and the file is opened with O_NOFOLLOW | O_NONBLOCK (a
// FIFO never blocks) and checked through its own descriptor: what is checked is what is used.
// A library is then loaded from that descriptor, not from its path.

#include <sys/stat.h>

#include <string>

#include "platform/posix/UniqueFd.h"

namespace posix {

class TrustedFile {
  public:
    // Whether the last name of the path may be a symbolic link (a library's usually is; the
    // store and manifests are not).
    enum class LastLink { kFollow, kRefuse };

    // Opens the regular file at absolute `path` for reading. On failure the object is empty,
    // Error() holds the errno value (ENOENT when it or a folder above it does not exist; EPERM
    // when a trust rule refuses it) and Reason() says why in words, naming what was refused.
    // Any thread.
    static TrustedFile Open(const std::string& path, LastLink lastLink);
    // Opens the folder at absolute `path` (read-only, for openat and fsync), by the same rules.
    static TrustedFile OpenFolder(const std::string& path);

    explicit operator bool() const { return static_cast<bool>(m_fd); }
    int Fd() const { return m_fd.Get(); }
    posix::UniqueFd TakeFd() { return std::move(m_fd); }
    // The status of the opened file, taken from its descriptor.
    const struct stat& Status() const { return m_status; }
    // Absolute, without links, "." or "..".
    const std::string& CanonicalPath() const { return m_canonical; }
    int Error() const { return m_error; }
    const std::string& Reason() const { return m_reason; }
    // When a trust rule refused it: the rule's reason alone, without the advice that Reason()
    // adds for files that decide which code runs.
    const std::string& Untrusted() const { return m_untrusted; }

  private:
    class Walk;

    posix::UniqueFd m_fd;
    struct stat m_status {};
    std::string m_canonical;
    int m_error = 0;
    std::string m_reason;
    std::string m_untrusted;
};

}  // namespace posix
