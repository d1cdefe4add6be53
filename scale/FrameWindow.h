#pragma once

// The reader's view of the line: the last twelve bytes received, oldest first. A frame is
// complete exactly when its header has reached the oldest end. The window is never cleared:
// bytes of an earlier port or opening stay in it.

#include <cstdint>

#include "scale/Protocol.h"

namespace scale {

// Notices a probe's answer: the two header bytes back to back, both received since the probe
// began (a pair begun by an earlier port's last byte is no answer). Before any probe, every
// byte counts.
class ProbeAnswer {
  public:
    // A probe is sent now: earlier bytes and answers no longer count.
    void Begin();
    void Forget() { m_answered = false; }
    bool Answered() const { return m_answered; }

    // `byte` arrived; `previous` is the one received just before it.
    void Note(std::uint8_t previous, std::uint8_t byte);

  private:
    bool m_newestInProbe = true;  // the newest byte arrived after the latest probe began
    bool m_answered = false;
};

class FrameWindow {
  public:
    // Shifts `byte` in at the newest end, telling `probe` of it. True when the window now holds
    // a complete frame.
    bool Push(std::uint8_t byte, ProbeAnswer* probe = nullptr);

    bool HoldsFrame() const { return StartsFrame(m_bytes[0], m_bytes[1]); }
    const FrameBytes& Bytes() const { return m_bytes; }
    Slots FrameSlots() const { return SlotsOf(m_bytes); }

  private:
    FrameBytes m_bytes{};
};

}  // namespace scale
