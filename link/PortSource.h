#pragma once

// A Source on a local port, read in bulk (DirectPort): what the described frame scan and the
// families share. Where it is read, its loss and its return (the one Reconnect policy) and what
// is said of them are here; how the scale is found, read and keyed is the wire's own.
//
// Thread: the thread that made it, with a Qt event loop; events are called there too.

#include <QObject>

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "link/DeviceFollower.h"
#include "link/DirectPort.h"
#include "link/NetworkWire.h"
#include "link/PortWatcher.h"
#include "link/Reconnect.h"
#include "link/Source.h"
#include "platform/serial/PortMap.h"

namespace scale_link {

class PortSource : public QObject, public Source {
  public:
    ~PortSource() override;

    int Port() const override { return m_port; }
    std::string Name() const override;
    std::string Named() const override;
    std::string Device() const override { return m_follower.Current().device; }
    std::string LastingName() const override { return m_follower.Current().byId; }

  protected:
    // `ports` outlives it, and so does `watcher`, whose changes of the ports it follows (null:
    // a watcher of its own).
    PortSource(serial_port::PortMap& ports, SourceEvents events, PortWatcher* watcher);

    // What the port sent.
    virtual void OnBytes(std::span<const std::uint8_t> bytes) = 0;
    // Opens COM`port` again as it was read before, nothing found anew.
    virtual posix::Status Reopen(int port) = 0;
    // The line Reopen opens at (a connection is dialled at it off this thread first).
    virtual scale::LineSettings ReopenLine() const { return scale::kLine; }
    // It is read again: nothing from before makes a reading with what follows.
    virtual void Reopened() {}
    // The port went or was closed: what waited on it stops.
    virtual void Halted() {}
    // The keys that waited for the driver have all been taken.
    virtual void KeysTaken() {}

    // COM`port`, open on m_link, is read from now on; 0: none was found. Returns `port`.
    int Kept(int port);
    // The device went away (a read may still be inside the port): no keys are taken meanwhile.
    bool Away() const { return m_port == 0 || m_follower.Following(); }
    void TellState(scale::PortState::Change change);

    serial_port::PortMap& m_ports;
    SourceEvents m_events;
    DirectPort m_link;
    bool m_probing = false;  // a probe is reading the port: it is left as it is meanwhile

  private:
    void OnDeviceLost(const std::string& why);
    void LeaveMovedEntry();
    Reconnect::Hooks ReconnectHooks();
    bool Dial(int port);

    DeviceFollower m_follower;
    Reconnect m_reconnect;
    std::unique_ptr<PortWatcher> m_ownWatcher;
    int m_port = 0;
    // Name() asked of the map once per port, not once per reading.
    struct KeptName {
        int port = -1;
        std::uint64_t namesChanged = 0;
        std::string name;
    };
    mutable KeptName m_name;
    NetworkDial m_dial;  // goes first: what it hands back lands on the members above
};

}  // namespace scale_link
