#include "platform/hid/HidrawDevices.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/posix/ReadAll.h"
#include "platform/posix/UniqueFd.h"

namespace hid {
namespace {

// The kernel's bound on a report descriptor; sysfs never holds more.
constexpr std::size_t kLongestDescriptor = 4096;
constexpr std::size_t kLongestUevent = 8192;

posix::Result<std::string> FileText(const std::string& path, std::size_t limit) {
    const posix::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd)
        return posix::SystemError::FromErrno(errno, path);
    return posix::ReadAll(fd.Get(), limit);
}

// HID_NAME=... in the device's uevent.
std::string ProductOf(const std::string& device) {
    const auto uevent = FileText(device + "/uevent", kLongestUevent);
    if (!uevent)
        return {};
    constexpr std::string_view kKey = "HID_NAME=";
    const std::size_t at = uevent->find(kKey);
    if (at == std::string::npos)
        return {};
    const std::size_t end = uevent->find('\n', at);
    return uevent->substr(at + kKey.size(),
                          end == std::string::npos ? end : end - at - kKey.size());
}

// The number of "hidrawN", for the order; names without one go last.
unsigned long NumberOf(const std::string& name) {
    const std::size_t digits = name.find_first_of("0123456789");
    return digits == std::string::npos ? ~0ul : std::stoul(name.substr(digits, 9));
}

}  // namespace

posix::Result<HidrawDevice> HidrawAt(const HidrawRoots& roots, const std::string& node) {
    const std::string name = std::filesystem::path(node).filename().string();
    const std::string device = roots.sys + "/class/hidraw/" + name + "/device";
    const auto descriptor = FileText(device + "/report_descriptor", kLongestDescriptor);
    if (!descriptor)
        return descriptor.Error();
    return HidrawDevice{name, node, {descriptor->begin(), descriptor->end()}, ProductOf(device)};
}

std::vector<HidrawDevice> ListHidraw(const HidrawRoots& roots) {
    std::vector<HidrawDevice> devices;
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator(roots.sys + "/class/hidraw", error)) {
        const std::string name = entry.path().filename().string();
        if (auto device = HidrawAt(roots, roots.dev + "/" + name))
            devices.push_back(std::move(device).Value());
    }
    std::sort(devices.begin(), devices.end(), [](const HidrawDevice& a, const HidrawDevice& b) {
        return NumberOf(a.name) < NumberOf(b.name);
    });
    return devices;
}

}  // namespace hid
