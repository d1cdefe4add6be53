#pragma once

// Which device each COM number stands for. The program builds one map at start and hands it to
// everything that asks (the panel, its port watcher, the engine's resolver, the port listing);
// nothing else in this layer keeps state about ports.
//
// With a port folder, COMn is the folder's entry COMn (PortFolder.h) and no other port exists.
// Otherwise the machine's serial devices are numbered COM1, COM2, ... in the order of
// FindSerialDevices; while the map follows devices (the hot-plug watcher calls FollowDevices), a
// table keeps each number with its device (PortTable.h). A device named on the command line
// (Choose) stands for its number in either case.
//
// Thread: any, unless a method says otherwise; one lock guards the map's state.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/serial/PortNames.h"
#include "platform/serial/PortTable.h"
#include "platform/serial/SerialDevices.h"

namespace serial_port {

class PortMap {
  public:
    // `folder`: the port folder; empty: the machine's devices as `enumerate` finds them.
    explicit PortMap(std::string folder = {}, DeviceEnumerator enumerate = FindSerialDevices);
    PortMap(const PortMap&) = delete;
    PortMap& operator=(const PortMap&) = delete;

    // The port folder; empty when there is none. Never changes.
    const std::string& Folder() const { return m_folder; }
    // Why the port folder names no port now (another user could change it), or empty.
    std::string FolderRefusal() const;

    // Device path of COMn; nullopt when there is no such port (always for 0 and above 32).
    std::optional<std::string> Resolve(unsigned n) const;
    // Device path of a port name in the form PortNumberOf reads.
    std::optional<std::string> ResolveName(std::string_view name) const;
    // Every port that exists now, by number.
    std::vector<PortInfo> List() const;

    // The COM number `name` (a port name "COMn" or a device path) is opened as; 0 when it is
    // neither. COMn is taken as it is; a device path gets the number of the port it already
    // is, or else the lowest number that no port has, and from then on stands for that number
    // (also in a port folder). [UI thread, before the ports are listed]
    unsigned Choose(const std::string& name);
    // The device path given a number by Choose, when there is one.
    std::optional<PortInfo> Chosen() const;
    void ForgetChosen();
    // What the user calls port `n`: the device path given a number by Choose (a number of
    // ours would mean nothing to whoever named the path), else "COMn".
    std::string NameOf(unsigned n) const;
    // Counts the changes of what NameOf answers: a name kept is good while this stays the same.
    std::uint64_t NamesChanged() const { return m_namesChanged.load(std::memory_order_acquire); }
    // "COM1 (/dev/ttyUSB0)", or the path alone when it is the port's name.
    std::string NameWithDevice(unsigned n, const std::string& device) const;

    // From now until StopFollowing the machine's devices keep their numbers in a table, looked
    // at now and then only by RefreshDevices (without a table every question looks at the
    // devices anew). `enumerate` replaces the map's own for the table. No effect with a folder.
    void FollowDevices(DeviceEnumerator enumerate = {});
    void RefreshDevices();
    void StopFollowing();
    bool FollowsDevices() const;

    // While a snapshot of a map lives, the machine's devices are enumerated once, when a port
    // is first resolved or listed, and that list answers every later question: a scan of every
    // number asks the device manager once, not once per number. A folder is always looked at
    // as it is now. REQUIRES: the map outlives its snapshots.
    class Snapshot {
      public:
        explicit Snapshot(const PortMap& map);
        ~Snapshot();
        Snapshot(const Snapshot&) = delete;
        Snapshot& operator=(const Snapshot&) = delete;

      private:
        const PortMap& m_map;
    };
    // How often this map has enumerated the machine's devices (diagnostics).
    std::uint64_t Enumerations() const;

  private:
    std::vector<PortInfo> ListPresent() const;
    std::vector<SerialDevice> CurrentDevices() const;

    const std::string m_folder;
    const DeviceEnumerator m_enumerate;
    mutable std::mutex m_lock;
    std::optional<PortInfo> m_chosen;
    std::shared_ptr<PortTable> m_live;
    mutable int m_snapshots = 0;
    mutable std::optional<std::vector<SerialDevice>> m_snapshotDevices;
    mutable std::uint64_t m_enumerations = 0;
    std::atomic<std::uint64_t> m_namesChanged{0};
};

}  // namespace serial_port
