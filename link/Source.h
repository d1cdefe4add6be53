#pragma once

// A scale on some wire: the one thing a program reads. It finds or opens its scale, hands out
// each reading (and, where the wire has them, the raw bytes it came in), takes keys by the names
// its user gives them, names where it is read, and says when that goes away and comes back (one
// reconnect policy, link/Reconnect.h, serves every wire). The described frame scan (ScaleLink)
// and each family (FamilyLink) are Sources; a new wire is a new Source and nothing else.
//
// Thread: the thread that made it (the Source's), with a Qt event loop; each method says its
// thread. KeyNamed and KeyNames are pure: a broker's client asks them on its own thread.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/Result.h"
#include "scale/FrameObserver.h"
#include "scale/families/Family.h"

namespace scale_link {

// A key as its user presses it: which one, and whether twice (the described scale's second
// function of a key).
struct KeyPress {
    scale::families::Key key = scale::families::Key::kData;
    bool twice = false;

    bool operator==(const KeyPress&) const = default;
};

// The key a panel key byte stands for (scale/Protocol.h: the described keys, kDoubleClick for
// twice); none for any other byte. Thread: any.
std::optional<KeyPress> KeyOfPanelByte(std::uint8_t byte);

// Thread: each is called on the Source's thread.
struct SourceEvents {
    // Each reading as it completes: the described scale's frame as it stands, or a family's
    // reading (Frame::familyReading, with its name and the bytes it came in).
    std::function<void(const scale::Frame&)> reading;
    // Every byte as received, and whether it begins a reading; only from a wire that has bytes of
    // its own to show, and only when set.
    std::function<void(std::uint8_t byte, bool startsReading)> byte;
    // kLost: it went away (said already); kOpened: it is read again.
    std::function<void(const scale::PortState&)> portState;
    // A line for the user.
    std::function<void(const std::string&)> say;
};

class Source {
  public:
    virtual ~Source() = default;

    // Looks for its scale on `only` (a number from PortMap::Choose), or everywhere its wire
    // reaches when 0, saying what it finds on the way; the one found stays open and is read.
    // Its number, or why none was found: what the user is told, with what to do about it as
    // the detail (empty when there is nothing to do) and Unopened() after it.
    // Thread: the Source's; holds it until found (or not), events deferred to its event loop.
    virtual posix::Result<int> Find(unsigned only) = 0;
    // As Find, without holding the thread where its wire has to wait: `found` is called on it
    // with the outcome (here at once), unless the Source goes first or looks again.
    virtual void FindLater(unsigned only, std::function<void(posix::Result<int>)> found) {
        found(Find(only));
    }
    // Opens `only`, or the first that opens when 0, asking nothing of the scale (a wire whose
    // scale must be found first finds it). As Find. Thread: the Source's.
    virtual posix::Result<int> Open(unsigned only) = 0;
    // After a failed Find: why each place that exists could not be opened, one line each.
    // Thread: the Source's.
    virtual std::vector<std::string> Unopened() const = 0;

    // The key `line` names as this scale's user writes it ("TARE", "DATA double"); none when it
    // names none. Any thread.
    virtual std::optional<KeyPress> KeyNamed(std::string_view line) const = 0;
    // The names KeyNamed takes, for a line it did not ("DATA, MODE, TARE or ON/OFF [double]").
    // Thread: any.
    virtual std::string KeyNames() const = 0;
    // False when nothing was sent (no such key on this scale, said; or it is away). Thread: the
    // Source's; never waits for the scale.
    virtual bool SendKey(KeyPress key) = 0;
    // Says what it held back to say at the end (keys dropped), if anything. Thread: the Source's.
    virtual void TellDropped() {}

    // Where it is read: the number of COMn (0 where the wire has none), what the user calls it
    // (PortMap::NameOf: the path they named it by, else COMn), that with the device when they
    // differ, the device opened, and the device's lasting name when it has one. Thread: the
    // Source's.
    virtual int Port() const = 0;
    virtual std::string Name() const = 0;
    virtual std::string Named() const = 0;
    virtual std::string Device() const = 0;
    virtual std::string LastingName() const = 0;
};

}  // namespace scale_link
