#pragma once

// A weight transmitter on a Modbus bus, as a Source: each poll (every map.poll) reads the weight's
// registers and the status word with the motion bit, and makes one reading of them; TARE and ZERO
// are the register writes the map names. Polls and writes go through the bus's one queue
// (modbus::Bus), so a key never lands in the middle of a poll, and the Source's thread never
// waits for the bus except in Find. A poll that fails on the line loses the bus (said, as a lost
// port is): it is polled again after the network's back-off (link/DeviceFollower.h) until it
// answers, and is back; nothing is read across the gap.
//
// Thread: the thread that made it, with a Qt event loop; events are called there too.

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/DeviceFollower.h"
#include "link/ModbusMap.h"
#include "link/Source.h"
#include "platform/modbus/Bus.h"
#include "platform/window/Inbox.h"

namespace scale_link {

class ModbusSource : public QObject, public Source {
  public:
    struct Place {
        ModbusPort port;
        std::string name;    // as the user wrote it
        std::string device;  // the serial device of an RTU line; empty for TCP
        scale::LineSettings line{19200, 'E', 8, 1};
    };

    ModbusSource(Place place, ModbusMap map, SourceEvents events);
    ~ModbusSource() override;

    // Connects and polls once, waiting for the answer: the first reading follows from the event
    // loop. `only` is not looked at: the place is the one given.
    posix::Result<int> Find(unsigned only) override;
    // As Find, without holding the thread: `found` is called on it, from its event loop, with the
    // outcome, unless the source goes first or looks again.
    void FindLater(unsigned only, std::function<void(posix::Result<int>)> found) override;
    posix::Result<int> Open(unsigned only) override { return Find(only); }
    std::vector<std::string> Unopened() const override { return {}; }

    // TARE and ZERO, where the map has their registers.
    std::optional<KeyPress> KeyNamed(std::string_view line) const override;
    std::string KeyNames() const override;
    bool SendKey(KeyPress key) override;

    int Port() const override { return 0; }
    std::string Name() const override { return m_place.name; }
    std::string Named() const override { return m_place.name; }
    std::string Device() const override { return m_place.device; }
    std::string LastingName() const override { return {}; }

  private:
    struct Polled {
        std::vector<std::uint16_t> weight;
        std::optional<std::uint16_t> status;
    };

    posix::Result<modbus::Connection> Connect() const;
    // What the first poll's answer makes of the transmitter: found, and read from then on.
    posix::Result<int> Answered(const posix::Status& status, const Polled& polled);
    // Puts a poll in the bus's queue; `done` is called on this thread.
    void Poll(std::function<void(const posix::Status&, const Polled&)> done);
    void PollNow();
    // A poll whose answer comes to OnPolled, unless one is in the queue already.
    void Ask();
    void OnPolled(const posix::Status& status, const Polled& polled);
    void Tell(const Polled& polled);
    void Lose(const std::string& why);
    void Retry();
    std::optional<ModbusWrite> WriteFor(scale::families::Key key) const;

    Place m_place;
    ModbusMap m_map;
    SourceEvents m_events;
    window::Inbox m_inbox;  // before the bus: what it posts outlives nothing it needs
    modbus::Bus m_bus;
    QTimer m_poll;
    RetryPace m_retry{[this] { Retry(); }};
    bool m_found = false;
    std::uint64_t m_finds = 0;  // started so far
    bool m_asking = false;      // a poll is in the queue
    bool m_lost = false;
    std::string m_lastAnswer;  // the last exception said, so it is said once
};

}  // namespace scale_link
