#pragma once

// Follows the device behind the port a program opened: what it was, whether it went away, which
// COM number it has when it is back, and when to try opening it again. The same device is the
// one with the same identity (by-id name or USB serial number), or, when it has none, the same
// device path (with a port folder: the same COMn entry). What to open and when is decided here;
// the opening itself is the program's own.
//
// Thread: the thread that made it, with a Qt event loop; `retry` is called there.

#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "platform/serial/PortMap.h"

namespace scale_link {

// A device that is back but cannot be opened yet (udev still at work, a prober holding it) is
// tried this many times in all, this far apart, then not again until the ports change.
inline constexpr int kReconnectTries = 10;
inline constexpr std::chrono::seconds kReconnectRetry{1};
// A scale on the network is never given up: it is tried again after a wait that doubles from
// kReconnectRetry up to kNetworkRetryMost, back to none after a connection that lived
// kNetworkLived (one that the far end drops at once is not opened again and again).
inline constexpr std::chrono::seconds kNetworkRetryMost{30};
inline constexpr std::chrono::seconds kNetworkLived{10};
// The wait before try `tries` (from 1) of a scale on the network.
std::chrono::milliseconds NetworkBackOff(int tries);

// When a wire read by its own Source (a Modbus bus, a HID node) is tried again after it went
// away: at once when it had been read kNetworkLived, else after NetworkBackOff, longer after
// each try that fails or each loss soon after it came back.
class RetryPace {
  public:
    // `retry` is due: called from the event loop.
    explicit RetryPace(std::function<void()> retry);
    // It is read from now on.
    void Back() { m_backAt = std::chrono::steady_clock::now(); }
    void Lost();
    void Failed();

  private:
    QTimer m_timer;
    int m_tries = 0;  // tries since the loss that failed, or losses soon after it came back
    std::chrono::steady_clock::time_point m_backAt;
};

class DeviceFollower {
  public:
    struct Device {
        int port = 0;          // n of COMn
        std::string device;    // the path it was opened by
        std::string identity;  // what stays the same when it is plugged in again; may be empty
        std::string byId;      // its lasting by-id name, when it has one
        std::string target;    // the device the path led to when it was opened
        bool folderMadeAgain = false;  // its port folder was removed and made again since
        bool network = false;          // a connection (link/Wire.h), not a local device
    };

    // `retry`: a failed opening is due to be tried again. `ports` outlives the follower.
    DeviceFollower(const serial_port::PortMap& ports, std::function<void()> retry);

    // COM`port` was opened by the path `device`; what the map lists for it is remembered.
    void Opened(int port, const std::string& device);
    // The port folder was removed and made again, and in the new folder the entry of the port
    // opened last (not followed) leads to another device than the one opened. Those are new
    // ports, and the same entry is the same port: the program closes the old device and
    // follows it as lost, and the new one is opened at once. (A link re-pointed in the same
    // folder leaves the open port as it is, until it is opened again.)
    bool EntryMoved() const;
    // The port folder was removed and made again (PortWatcher::folderMadeAgain).
    void FolderMadeAgain() { m_current.folderMadeAgain = true; }
    const serial_port::PortMap& Ports() const { return m_ports; }
    // The device opened last; port 0 before any.
    const Device& Current() const { return m_current; }

    // COM`port` went away: followed from now on when it is the port opened last.
    void Lost(int port);
    bool Following() const { return m_lost.has_value(); }
    // Stops following it: it is back, or the user took the port over.
    void Forget();
    // The number the followed device has now; 0 while it is away or nothing is followed.
    int PortNow() const;

    // A device that is back is tried as often as at first (the ports changed, say); a
    // connection keeps its back-off.
    void ResetTries();
    // Opening the followed device again failed. True when it is tried again (`retry` follows),
    // false once its tries are used up.
    bool OpenFailed();
    // A connection lost soon after it was made waits its back-off before it is tried: true when
    // it does (`retry` follows).
    bool Postponed();

  private:
    std::chrono::milliseconds BackOff() const;

    const serial_port::PortMap& m_ports;
    Device m_current;
    std::optional<Device> m_lost;
    QTimer m_retry;
    int m_tries = 0;
    std::chrono::steady_clock::time_point m_openedAt;
};

}  // namespace scale_link
