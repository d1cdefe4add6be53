#pragma once

// A tap read as if it were the port (link/Tap.h): the bursts that came from the scale come
// again, through whatever family reads them, at their recorded pace or as fast as they are
// read. What the reader writes goes nowhere; a burst the scale sent after being written to
// (an answer) waits for the reader to write as it did (a query, a probe, a poll) and comes at
// its recorded distance from that write, so a polled scale answers when it is asked. Writes in
// the tap that nothing answered are passed over up to one the reader makes alike; a write the
// reader never makes again (a key in the tap) is waited for no longer than kWriteWait.
// Every wire opened on one replay reads on from where the one before stopped; at the end of the
// tap `ended` is called once, and the wire reads nothing more.
//
// Thread: a wire on the thread that opened it; the replay is shared under its own lock, and
// `ended` is called on the thread that read the end.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/Tap.h"
#include "link/Wire.h"

namespace scale_link {

inline constexpr std::chrono::seconds kWriteWait{5};

class Replay : public std::enable_shared_from_this<Replay> {
  public:
    // `speed`: how many times faster than recorded; none: as fast as read.
    Replay(std::vector<TapBurst> bursts, std::optional<double> speed, std::function<void()> ended);

    // A wire that reads on; null with the reason in `error` when the system has no timer.
    std::unique_ptr<Wire> Open(serial_port::PortError* error);

    using Clock = std::chrono::steady_clock;
    // What comes now, up to `most` bytes: none when nothing is due yet (then `*wake` is when
    // something may be), or at the end (`*wake` none).
    std::vector<std::uint8_t> Take(std::size_t most, std::optional<Clock::time_point>* wake);
    // The reader wrote `bytes`.
    void Written(std::span<const std::uint8_t> bytes);

  private:
    // Passes the writes the next burst waits for, as far as they were made or waited for;
    // REQUIRES: m_lock held.
    void PassWrites(Clock::time_point now);
    Clock::time_point Due(std::chrono::microseconds at) const;

    std::mutex m_lock;
    const std::vector<TapBurst> m_bursts;
    const std::optional<double> m_speed;
    std::function<void()> m_ended;
    std::size_t m_next = 0;     // the burst that comes next
    std::size_t m_taken = 0;    // of its bytes, handed out already
    std::size_t m_written = 0;  // writes made that no write in the tap has used yet
    bool m_begun = false;
    bool m_endSaid = false;
    // Recorded time `m_baseAt` stands at `m_base` now: moved at each write waited for.
    Clock::time_point m_base;
    std::chrono::microseconds m_baseAt{0};
    std::optional<Clock::time_point> m_waitingSince;  // for a write, at a '>' line
};

// What opens the wires of a reader with --tap and --replay: `replayDevice` (the tap's path, as
// the port chosen) opens `replay`, any other device itself; `tap`, when there is one, records
// each. Either may be null.
WireOpener TapAndReplay(std::shared_ptr<TapFile> tap, std::shared_ptr<Replay> replay,
                        std::string replayDevice);

}  // namespace scale_link
