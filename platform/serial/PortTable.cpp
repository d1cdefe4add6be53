#include "platform/serial/PortTable.h"

#include <utility>

namespace serial_port {

namespace {

bool SameDevice(const SerialDevice& a, const SerialDevice& b) {
    const std::string identity = DeviceIdentity(a);
    if (!identity.empty())
        return identity == DeviceIdentity(b);
    return DeviceIdentity(b).empty() && a.node == b.node;
}

}  // namespace

std::string DeviceIdentity(const SerialDevice& device) {
    if (!device.byId.empty())
        return device.byId;
    if (!device.serial.empty())
        return "USB serial number " + device.serial;
    return {};
}

PortTable::PortTable(Enumerate enumerate) : m_enumerate(std::move(enumerate)) {}

void PortTable::Refresh() {
    std::vector<SerialDevice> found = m_enumerate();
    std::lock_guard<std::mutex> hold(m_lock);
    std::vector<bool> placed(found.size(), false);
    auto place = [&](std::optional<Entry>& entry) {
        for (std::size_t i = 0; i < found.size(); ++i) {
            if (!placed[i] && SameDevice(entry->device, found[i])) {
                placed[i] = true;
                entry = Entry{found[i], true};
                return true;
            }
        }
        return false;
    };
    // Present devices keep their numbers, and returning ones get theirs back. A device with
    // nothing that tells it again gives its number up when it goes.
    if (m_numbered) {
        for (auto& entry : m_entries) {
            if (entry && !place(entry)) {
                if (DeviceIdentity(entry->device).empty())
                    entry.reset();
                else
                    entry->present = false;
            }
        }
    }
    m_numbered = true;
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (placed[i])
            continue;
        std::size_t n = kFirstPortNumber;
        while (n <= kLastPortNumber && m_entries[n])
            ++n;
        // All numbers taken: a number kept for an absent device is given up, lowest first.
        if (n > kLastPortNumber) {
            n = kFirstPortNumber;
            while (n <= kLastPortNumber && m_entries[n]->present)
                ++n;
            if (n > kLastPortNumber)
                break;
        }
        m_entries[n] = Entry{std::move(found[i]), true};
    }
}

std::vector<PortInfo> PortTable::Ports() const {
    std::lock_guard<std::mutex> hold(m_lock);
    std::vector<PortInfo> ports;
    for (unsigned n = kFirstPortNumber; n <= kLastPortNumber; ++n) {
        const auto& entry = m_entries[n];
        if (entry && entry->present)
            ports.push_back(PortInfo{n, entry->device.node, entry->device.description,
                                     entry->device.byId, DeviceIdentity(entry->device)});
    }
    return ports;
}

}  // namespace serial_port
