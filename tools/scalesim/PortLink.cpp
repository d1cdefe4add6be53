#include "tools/scalesim/PortLink.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/posix/SystemError.h"

namespace scalesim {

std::optional<PortLink> PortLink::Create(const std::string& dir, const std::string& name,
                                         const std::string& target, std::string* error) {
    const std::string path = dir + "/" + name;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        *error = path + " exists and is not a symbolic link";
        return std::nullopt;
    }
    // Made under a private name and renamed, so that a reader never sees a half-made entry.
    const std::string temporary = dir + "/." + name + "." + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(target.c_str(), temporary.c_str()) != 0 ||
        ::rename(temporary.c_str(), path.c_str()) != 0) {
        *error = path + ": " + posix::ErrnoText(errno);
        ::unlink(temporary.c_str());
        return std::nullopt;
    }
    return PortLink(path, target);
}

PortLink::PortLink(std::string path, std::string target)
    : m_path(std::move(path)), m_target(std::move(target)) {}

PortLink::PortLink(PortLink&& other) noexcept
    : m_path(std::exchange(other.m_path, {})), m_target(std::exchange(other.m_target, {})) {}

PortLink& PortLink::operator=(PortLink&& other) noexcept {
    if (this != &other) {
        Remove();
        m_path = std::exchange(other.m_path, {});
        m_target = std::exchange(other.m_target, {});
    }
    return *this;
}

PortLink::~PortLink() {
    Remove();
}

void PortLink::Remove() {
    if (m_path.empty())
        return;
    char buf[4096];
    const ssize_t n = ::readlink(m_path.c_str(), buf, sizeof buf);
    if (n >= 0 && std::string(buf, static_cast<std::size_t>(n)) == m_target)
        ::unlink(m_path.c_str());
    m_path.clear();
}

}  // namespace scalesim
