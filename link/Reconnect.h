#pragma once

// The one reconnect policy: a device that went away while it was read is followed
// (DeviceFollower), and when it is back it is opened again, at once and then a few times a
// second apart while it cannot be opened yet; once those tries are used up, not again until the
// ports change. A connection is tried for as long as it takes, further and further apart
// (DeviceFollower.h). A port folder entry that leads to another device now is that device: the old
// one is left as lost and the new one opened. How a wire opens and shows its port is the
// owner's; when is decided here.
//
// Thread: the thread that made it, with a Qt event loop; hooks are called there.

#include <QObject>

#include <functional>
#include <string>

#include "link/DeviceFollower.h"
#include "platform/posix/Result.h"

namespace scale_link {

class Reconnect {
  public:
    struct Hooks {
        // Nothing of the owner's stands in the way of opening (it holds no port, say); unset:
        // nothing does.
        std::function<bool()> ready;
        // COM`port` is back: may it be opened now? Unset: yes.
        std::function<bool(int port)> mayOpen;
        // Opens COM`port` and reads it; the owner tells its follower what it opened.
        std::function<posix::Status(int port)> open;
        // Begins opening COM`port` off this thread (a connection: its name, connect and first
        // answers take time): true when it is under way, and Dialled follows. Unset or false:
        // `open` opens it here.
        std::function<bool(int port)> dial;
        // COM`port` is open and read again.
        std::function<void(int port)> back;
        // The port opened last is open and read now (its entry may have moved).
        std::function<bool()> reading;
        // That port's entry leads to another device now: close it and tell it lost (the
        // follower follows it already).
        std::function<void()> leave;
        // What the user is told of it all (the loss, a device back, one that cannot be opened
        // yet), and what the port opened last is called with its device. Unset: nothing is
        // said (a window shows it otherwise).
        std::function<void(const std::string&)> say;
        std::function<std::string()> named;
    };

    // `follower` outlives this and calls Try when a failed opening is due again.
    Reconnect(DeviceFollower& follower, Hooks hooks);

    // COM`port`, read until now, went away (`why`), said from inside its own read: followed,
    // and tried once that read has returned.
    void Lost(int port, const std::string& why);
    // The ports may have changed.
    void PortsChanged();
    // Opens the followed device when it is back and nothing stands in the way.
    void Try();
    // The dial of COM`port` is over: what it opened waits for `open`, or it failed (`dialled`).
    void Dialled(int port, const posix::Status& dialled);

  private:
    void Say(const std::string& text) const;
    void Opened(int port, const posix::Status& opened);

    DeviceFollower& m_follower;
    Hooks m_hooks;
    QObject m_context;  // for what is tried from the event loop
    bool m_dialling = false;
};

}  // namespace scale_link
