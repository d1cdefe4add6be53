#include "platform/serial/PortFolder.h"

#include <sys/stat.h>
#include <unistd.h>

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

}  // namespace

std::optional<std::string> FolderEntry(const std::string& folder, unsigned n) {
    if (!IsPortNumber(n))
        return std::nullopt;
    std::string path = folder + "/COM" + std::to_string(n);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return path;
}

std::vector<PortInfo> FolderPorts(const std::string& folder) {
    std::vector<PortInfo> ports;
    for (unsigned n = kFirstPortNumber; n <= kLastPortNumber; ++n) {
        if (auto path = FolderEntry(folder, n))
            ports.push_back(PortInfo{n, *path, DescribeEntry(*path), {}, {}});
    }
    return ports;
}

}  // namespace serial_port
