#include "platform/serial/DeviceAccess.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "platform/posix/Accounts.h"
#include "platform/posix/Udev.h"
#include "platform/posix/UniqueFd.h"

namespace serial_port {

namespace {

std::string UserName(uid_t uid) {
    if (const auto user = posix::LookUpUser(uid))
        return user->name;
    return std::to_string(uid);
}

std::string GroupName(gid_t gid) {
    if (const auto group = posix::LookUpGroup(gid))
        return group->name;
    return std::to_string(gid);
}

bool ProcessInGroup(gid_t gid) {
    if (::getegid() == gid)
        return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

bool AccountInGroup(gid_t gid) {
    const auto user = posix::LookUpUser(::geteuid());
    if (!user)
        return false;
    if (user->gid == gid)
        return true;
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (::getgrouplist(user->name.c_str(), user->gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        if (::getgrouplist(user->name.c_str(), user->gid, groups.data(), &count) < 0)
            return false;
    }
    groups.resize(static_cast<std::size_t>(count));
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

struct CloseDir {
    void operator()(DIR* d) const { ::closedir(d); }
};
using DirPtr = std::unique_ptr<DIR, CloseDir>;

void ReadUsbIdentity(dev_t rdev, DeviceAccess& access) {
    posix::UdevPtr<udev> context(udev_new());
    if (!context)
        return;
    posix::UdevPtr<udev_device> device(udev_device_new_from_devnum(context.get(), 'c', rdev));
    if (!device)
        return;
    udev_device* usb =
        udev_device_get_parent_with_subsystem_devtype(device.get(), "usb", "usb_device");
    if (!usb)
        return;
    const char* vendor = udev_device_get_sysattr_value(usb, "idVendor");
    const char* product = udev_device_get_sysattr_value(usb, "idProduct");
    if (vendor && product) {
        access.usbVendor = vendor;
        access.usbProduct = product;
    }
}

// The first line of a small file, at most `limit` bytes. Lock folders may be writable by
// anyone: a FIFO, a link or anything but a plain file there is not read (it could block).
std::string FirstLine(const std::string& path, std::size_t limit = 256) {
    const posix::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (!fd)
        return {};
    std::string line;
    struct stat st {};
    if (::fstat(fd.Get(), &st) == 0 && S_ISREG(st.st_mode)) {
        char buffer[512];
        const ssize_t n = ::read(fd.Get(), buffer, std::min(limit, sizeof buffer));
        if (n > 0)
            line.assign(buffer, static_cast<std::size_t>(n));
    }
    return line.substr(0, line.find('\n'));
}

std::optional<DeviceHolder> HolderOf(int pid) {
    if (pid <= 0)
        return std::nullopt;
    const std::string dir = "/proc/" + std::to_string(pid);
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0)
        return std::nullopt;  // a stale lock
    DeviceHolder holder;
    holder.pid = pid;
    holder.program = FirstLine(dir + "/comm", 64);
    holder.user = UserName(st.st_uid);
    return holder;
}

// A lock on the device's inode: "1: FLOCK  ADVISORY  WRITE 1234 00:05:87 0 EOF".
std::optional<DeviceHolder> FromKernelLocks(const struct stat& node) {
    std::ifstream in("/proc/locks");
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "%02x:%02x:%lu", major(node.st_dev), minor(node.st_dev),
                  static_cast<unsigned long>(node.st_ino));
    std::string line;
    for (int lines = 0; lines < 100000 && std::getline(in, line); ++lines) {
        std::istringstream fields(line);
        std::string field;
        std::string previous;
        while (fields >> field) {
            if (field == wanted)
                return HolderOf(std::atoi(previous.c_str()));
            previous = field;
        }
    }
    return std::nullopt;
}

// UUCP lock files name the holder's process: "LCK..ttyUSB0" with the number in text.
std::optional<DeviceHolder> FromLockFiles(const std::string& deviceName) {
    for (const char* dir : {"/run/lock/", "/var/lock/"}) {
        const std::string line = FirstLine(std::string(dir) + "LCK.." + deviceName, 32);
        if (line.empty())
            continue;
        if (auto holder = HolderOf(std::atoi(line.c_str())))
            return holder;
    }
    return std::nullopt;
}

std::optional<DeviceHolder> FromOpenDescriptors(const std::string& device) {
    DirPtr proc(::opendir("/proc"));
    if (!proc)
        return std::nullopt;
    while (const dirent* entry = ::readdir(proc.get())) {
        const int pid = std::atoi(entry->d_name);
        if (pid <= 0 || pid == ::getpid())
            continue;
        const std::string fdDir = "/proc/" + std::to_string(pid) + "/fd";
        DirPtr fds(::opendir(fdDir.c_str()));
        if (!fds)
            continue;  // another user's process
        while (const dirent* fd = ::readdir(fds.get())) {
            char target[4096];
            const std::string link = fdDir + "/" + fd->d_name;
            const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
            if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == device)
                return HolderOf(pid);
        }
    }
    return std::nullopt;
}

}  // namespace

std::string CanonicalPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : path;
}

std::optional<DeviceAccess> ReadDeviceAccess(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    DeviceAccess access;
    access.device = CanonicalPath(path);
    access.owner = UserName(st.st_uid);
    access.group = GroupName(st.st_gid);
    access.mode = st.st_mode & 0777;
    access.groupIsRoot = st.st_gid == 0;
    access.groupMayReadWrite = (st.st_mode & 060) == 060;
    access.ownerMayReadWrite = (st.st_mode & 0600) == 0600;
    access.accountInGroup = AccountInGroup(st.st_gid);
    access.processInGroup = ProcessInGroup(st.st_gid);
    if (S_ISCHR(st.st_mode))
        ReadUsbIdentity(st.st_rdev, access);
    return access;
}

std::optional<DeviceHolder> FindDeviceHolder(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    const std::string device = CanonicalPath(path);
    if (auto holder = FromKernelLocks(st))
        return holder;
    const std::size_t slash = device.rfind('/');
    if (auto holder = FromLockFiles(device.substr(slash + 1)))
        return holder;
    return FromOpenDescriptors(device);
}

}  // namespace serial_port
