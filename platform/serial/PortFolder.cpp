#include "platform/serial/PortFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/posix/FileTrust.h"
#include "platform/posix/TrustedFile.h"

namespace serial_port {

namespace {

std::string DescribeEntry(const std::string& path) {
    char target[4096];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    if (n > 0)
        return "link to " + std::string(target, static_cast<std::size_t>(n));
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return "gone";
    if (S_ISCHR(st.st_mode))
        return "device node";
    if (S_ISFIFO(st.st_mode))
        return "FIFO";
    if (S_ISREG(st.st_mode))
        return "regular file";
    if (S_ISDIR(st.st_mode))
        return "folder";
    if (S_ISSOCK(st.st_mode))
        return "socket";
    if (S_ISBLK(st.st_mode))
        return "block device";
    return "unknown kind of file";
}

std::optional<std::string> Entry(const std::string& folder, unsigned n) {
    std::string path = folder + "/COM" + std::to_string(n);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return path;
}

}  // namespace

std::string FolderUntrusted(const std::string& folder) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(folder, error);
    if (error)
        return {};
    const posix::TrustedFile checked = posix::TrustedFile::OpenFolder(absolute.string());
    if (!checked) {
        if (checked.Error() == ENOENT)
            return {};  // no entry of it can exist either
        // A folder that cannot be checked (one the user may not read, say) is not used.
        return checked.Error() == EPERM ? checked.Untrusted()
                                        : "it cannot be checked (" + checked.Reason() + ")";
    }
    // Sticky is fine above it, not for the folder itself: anyone who may write it may add a
    // COM entry that is not there yet.
    struct stat st = checked.Status();
    if ((st.st_mode & S_ISVTX) == 0)
        return {};
    st.st_mode &= ~static_cast<mode_t>(S_ISVTX);
    std::string why = posix::UntrustedBecause(st, checked.CanonicalPath(), posix::FileRole::kFolder,
                                              checked.Fd());
    return why.empty() ? why : why + ", and sticky, which does not stop others adding entries";
}

std::optional<std::string> FolderEntry(const std::string& folder, unsigned n) {
    if (!IsPortNumber(n) || !FolderUntrusted(folder).empty())
        return std::nullopt;
    return Entry(folder, n);
}

std::vector<PortInfo> FolderPorts(const std::string& folder) {
    std::vector<PortInfo> ports;
    if (!FolderUntrusted(folder).empty())
        return ports;
    for (unsigned n = kFirstPortNumber; n <= kLastPortNumber; ++n) {
        if (auto path = Entry(folder, n))
            ports.push_back(PortInfo{n, *path, DescribeEntry(*path), {}, {}});
    }
    return ports;
}

}  // namespace serial_port
