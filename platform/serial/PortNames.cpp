#include "platform/serial/PortNames.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>

#include "platform/serial/ChosenPort.h"
#include "platform/serial/PortTable.h"
#include "platform/serial/SerialDevices.h"

namespace serial_port {

namespace {

// The directory that stands for the machine's ports, when one is configured.
std::optional<std::string> PortDirectory() {
    const char* dir = std::getenv("KARVEL_PORT_DIR");
    if (dir == nullptr || *dir == '\0')
        return std::nullopt;
    return std::string(dir);
}

std::string EntryPath(const std::string& dir, unsigned n) {
    return dir + "/COM" + std::to_string(n);
}

// An entry counts when what it names exists (a link to a pseudo-terminal whose peer went away
// is a port that went away).
bool EntryExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

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

// One enumeration of the machine's devices serves every PortSnapshot alive at the same time.
struct Snapshots {
    std::mutex lock;
    int alive = 0;
    std::optional<std::vector<SerialDevice>> devices;
};

Snapshots& TheSnapshots() {
    static Snapshots snapshots;
    return snapshots;
}

std::atomic<std::uint64_t> g_enumerations{0};

std::vector<SerialDevice> Enumerate() {
    ++g_enumerations;
    return FindSerialDevices();
}

std::vector<SerialDevice> CurrentDevices() {
    Snapshots& s = TheSnapshots();
    std::lock_guard<std::mutex> hold(s.lock);
    if (s.alive == 0)
        return Enumerate();
    if (!s.devices)
        s.devices = Enumerate();
    return *s.devices;
}

bool InRange(unsigned n) {
    return n >= kFirstPortNumber && n <= kLastPortNumber;
}

}  // namespace

std::optional<std::string> ResolvePort(unsigned n) {
    if (!InRange(n))
        return std::nullopt;
    if (const auto chosen = ChosenDevice(); chosen && chosen->number == n)
        return chosen->device;
    if (const auto dir = PortDirectory()) {
        std::string path = EntryPath(*dir, n);
        if (!EntryExists(path))
            return std::nullopt;
        return path;
    }
    const std::vector<PortInfo> ports = ListPorts();
    for (const PortInfo& p : ports) {
        if (p.number == n)
            return p.device;
    }
    return std::nullopt;
}

std::optional<unsigned> PortNumberOf(std::string_view name) {
    // "COMn" names ports 1 to 9 only and "\\.\COMn" ports 10 and above, the forms an open
    // writes; a name in the other form is no port.
    constexpr std::string_view kLongPrefix = "\\\\.\\";
    const bool longForm = name.substr(0, kLongPrefix.size()) == kLongPrefix;
    if (longForm)
        name.remove_prefix(kLongPrefix.size());
    if (name.size() < 4 || name.size() > 5 || name.substr(0, 3) != "COM")
        return std::nullopt;
    name.remove_prefix(3);
    if (name[0] == '0')
        return std::nullopt;
    unsigned n = 0;
    for (char c : name) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    if (!InRange(n) || longForm != (n > 9))
        return std::nullopt;
    return n;
}

std::optional<std::string> ResolvePortName(std::string_view name) {
    const auto n = PortNumberOf(name);
    if (!n)
        return std::nullopt;
    return ResolvePort(*n);
}

namespace {

std::vector<PortInfo> ListPresentPorts() {
    std::vector<PortInfo> ports;
    if (const auto dir = PortDirectory()) {
        for (unsigned n = kFirstPortNumber; n <= kLastPortNumber; ++n) {
            std::string path = EntryPath(*dir, n);
            if (EntryExists(path))
                ports.push_back(PortInfo{n, path, DescribeEntry(path), {}, {}});
        }
        return ports;
    }
    if (const PortTable* live = LivePortTable())
        return live->Ports();
    unsigned n = kFirstPortNumber;
    for (SerialDevice& d : CurrentDevices()) {
        if (n > kLastPortNumber)
            break;
        ports.push_back(PortInfo{n++, d.node, d.description, d.byId, DeviceIdentity(d)});
    }
    return ports;
}

}  // namespace

std::vector<PortInfo> ListPorts() {
    std::vector<PortInfo> ports = ListPresentPorts();
    if (auto chosen = ChosenDevice()) {
        // It stands for its number in place of whatever was there.
        const unsigned n = chosen->number;
        std::erase_if(ports, [n](const PortInfo& p) { return p.number == n; });
        const auto at = std::find_if(ports.begin(), ports.end(),
                                     [n](const PortInfo& p) { return p.number > n; });
        ports.insert(at, std::move(*chosen));
    }
    return ports;
}

PortSnapshot::PortSnapshot() {
    std::lock_guard<std::mutex> hold(TheSnapshots().lock);
    ++TheSnapshots().alive;
}

PortSnapshot::~PortSnapshot() {
    Snapshots& s = TheSnapshots();
    std::lock_guard<std::mutex> hold(s.lock);
    if (--s.alive == 0)
        s.devices.reset();
}

std::uint64_t DeviceEnumerations() {
    return g_enumerations.load();
}

std::string PortLine(const PortInfo& port) {
    std::string line = "COM" + std::to_string(port.number) + "  " + port.device;
    if (!port.byId.empty())
        line += "  " + port.byId;
    if (!port.description.empty())
        line += "  " + port.description;
    return line;
}

}  // namespace serial_port
