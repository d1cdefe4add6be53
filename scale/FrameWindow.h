#pragma once

// The reader's view of the line: the last twelve bytes received, oldest first. A frame is
// complete exactly when its header has reached the oldest end. The window is never cleared:
// bytes of an earlier port or opening stay in it.
//
// It also notices a probe's answer: the two header bytes back to back, both received since the
// probe began (a pair begun by an earlier port's last byte is no answer).

#include <cstdint>

#include "scale/Protocol.h"

namespace scale {

class FrameWindow {
  public:
    // Shifts `byte` in at the newest end. True when the window now holds a complete frame.
    bool Push(std::uint8_t byte);

    bool HoldsFrame() const { return StartsFrame(m_bytes[0], m_bytes[1]); }
    const FrameBytes& Bytes() const { return m_bytes; }
    Slots FrameSlots() const { return SlotsOf(m_bytes); }

    // A probe is sent now: earlier bytes and answers no longer count.
    void BeginProbe();
    void ForgetAnswer() { m_answered = false; }
    bool ProbeAnswered() const { return m_answered; }

  private:
    FrameBytes m_bytes{};
    // The newest byte arrived after the latest probe began (true before any probe).
    bool m_newestInProbe = true;
    bool m_answered = false;
};

}  // namespace scale
