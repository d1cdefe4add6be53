#include "platform/serial/PortMap.h"

#include <algorithm>
#include <utility>

#include "platform/serial/DeviceAccess.h"
#include "platform/serial/PortFolder.h"

namespace serial_port {

PortMap::PortMap(std::string folder, DeviceEnumerator enumerate)
    : m_folder(std::move(folder)),
      m_enumerate(enumerate ? std::move(enumerate) : DeviceEnumerator(FindSerialDevices)) {}

std::string PortMap::FolderRefusal() const {
    return m_folder.empty() ? std::string() : FolderUntrusted(m_folder);
}

std::optional<std::string> PortMap::Resolve(unsigned n) const {
    if (!IsPortNumber(n))
        return std::nullopt;
    if (const auto chosen = Chosen(); chosen && chosen->number == n)
        return chosen->device;
    if (!m_folder.empty())
        return FolderEntry(m_folder, n);
    for (PortInfo& p : List()) {
        if (p.number == n)
            return std::move(p.device);
    }
    return std::nullopt;
}

std::optional<std::string> PortMap::ResolveName(std::string_view name) const {
    const auto n = PortNumberOf(name);
    if (!n)
        return std::nullopt;
    return Resolve(*n);
}

std::vector<SerialDevice> PortMap::CurrentDevices() const {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_snapshots > 0 && m_snapshotDevices)
        return *m_snapshotDevices;
    ++m_enumerations;
    std::vector<SerialDevice> found = m_enumerate();
    if (m_snapshots > 0)
        m_snapshotDevices = found;
    return found;
}

std::vector<PortInfo> PortMap::ListPresent() const {
    if (!m_folder.empty())
        return FolderPorts(m_folder);
    std::shared_ptr<PortTable> live;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        live = m_live;
    }
    if (live)
        return live->Ports();
    std::vector<PortInfo> ports;
    unsigned n = kFirstPortNumber;
    for (SerialDevice& d : CurrentDevices()) {
        if (n > kLastPortNumber)
            break;
        ports.push_back(PortInfo{n++, d.node, d.description, d.byId, DeviceIdentity(d)});
    }
    return ports;
}

std::vector<PortInfo> PortMap::List() const {
    std::vector<PortInfo> ports = ListPresent();
    if (auto chosen = Chosen()) {
        // It stands for its number in place of whatever was there.
        const unsigned n = chosen->number;
        std::erase_if(ports, [n](const PortInfo& p) { return p.number == n; });
        const auto at = std::find_if(ports.begin(), ports.end(),
                                     [n](const PortInfo& p) { return p.number > n; });
        ports.insert(at, std::move(*chosen));
    }
    return ports;
}

unsigned PortMap::Choose(const std::string& name) {
    ForgetChosen();
    if (const auto n = ComNumberOf(name))
        return *n;
    if (name.find('/') == std::string::npos)
        return 0;
    const std::vector<PortInfo> present = List();
    const std::string wanted = CanonicalPath(name);
    unsigned number = kLastPortNumber;
    for (unsigned n = kLastPortNumber; n >= kFirstPortNumber; --n) {
        const auto it = std::find_if(present.begin(), present.end(),
                                     [n](const PortInfo& p) { return p.number == n; });
        if (it == present.end())
            number = n;
        else if (CanonicalPath(it->device) == wanted)
            return n;
    }
    std::lock_guard<std::mutex> hold(m_lock);
    m_chosen = PortInfo{number, name, "named on the command line", {}, {}};
    m_namesChanged.fetch_add(1, std::memory_order_release);
    return number;
}

std::optional<PortInfo> PortMap::Chosen() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_chosen;
}

void PortMap::ForgetChosen() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_chosen.reset();
    m_namesChanged.fetch_add(1, std::memory_order_release);
}

std::string PortMap::NameOf(unsigned n) const {
    if (const auto chosen = Chosen(); chosen && chosen->number == n)
        return chosen->device;
    return PortName(static_cast<int>(n));
}

std::string PortMap::NameWithDevice(unsigned n, const std::string& device) const {
    std::string name = NameOf(n);
    if (name != device)
        name += " (" + device + ")";
    return name;
}

void PortMap::FollowDevices(DeviceEnumerator enumerate) {
    if (!m_folder.empty())
        return;
    auto table = std::make_shared<PortTable>(enumerate ? std::move(enumerate) : m_enumerate);
    table->Refresh();
    std::lock_guard<std::mutex> hold(m_lock);
    m_live = std::move(table);
}

void PortMap::RefreshDevices() {
    std::shared_ptr<PortTable> live;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        live = m_live;
    }
    if (live)
        live->Refresh();
}

void PortMap::StopFollowing() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_live.reset();
}

bool PortMap::FollowsDevices() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_live != nullptr;
}

PortMap::Snapshot::Snapshot(const PortMap& map) : m_map(map) {
    std::lock_guard<std::mutex> hold(m_map.m_lock);
    ++m_map.m_snapshots;
}

PortMap::Snapshot::~Snapshot() {
    std::lock_guard<std::mutex> hold(m_map.m_lock);
    if (--m_map.m_snapshots == 0)
        m_map.m_snapshotDevices.reset();
}

std::uint64_t PortMap::Enumerations() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_enumerations;
}

}  // namespace serial_port
