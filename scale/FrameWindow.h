#pragma once

// The reader's view of the line: the last twelve bytes received, oldest first. A frame is
// complete exactly when its header has reached the oldest end. The window is never cleared:
// bytes of an earlier port or opening stay in it.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "scale/Protocol.h"

namespace scale {

// Notices a probe's answer: the two header bytes back to back, both received since the probe
// began (a pair begun by an earlier port's last byte is no answer). Before any probe, every
// byte counts.
//
// It also tells where the answer ended, so that the answer is never taken for a frame's
// header: at the first pair after the probe, unless within the next two frames' worth of bytes
// a pair follows another at once. Then the first of those two was the answer and the second
// the header of the frame after it (a scale that streams frames answers between two of them,
// so the first pair seen may be the header of the frame in flight).
class ProbeAnswer {
  public:
    // A probe is sent now: earlier bytes and answers no longer count.
    void Begin();
    void Forget() { m_answered = false; }
    bool Answered() const { return m_answered; }

    // `byte` arrived; `previous` is the one received just before it. When it shows where the
    // answer ended: how many of the newest bytes came after the answer.
    std::optional<std::size_t> Note(std::uint8_t previous, std::uint8_t byte);

  private:
    bool m_newestInProbe = true;  // the newest byte arrived after the latest probe began
    bool m_answered = false;
    bool m_probed = false;        // a probe began, so an answer has a place
    std::size_t m_placeLeft = 0;  // bytes in which a pair after a pair may still place it
    std::size_t m_sincePair = 0;  // bytes after the newest pair
};

class FrameWindow {
  public:
    // Shifts `byte` in at the newest end, telling `probe` of it. True when the window now holds
    // a complete frame.
    bool Push(std::uint8_t byte, ProbeAnswer* probe = nullptr);

    bool HoldsFrame() const { return StartsFrame(m_bytes[0], m_bytes[1]); }
    const FrameBytes& Bytes() const { return m_bytes; }
    Slots FrameSlots() const { return SlotsOf(m_bytes); }

    // The bytes received so far belong to no frame the scale sent from now on (the port was
    // opened again); they stay in the window.
    void Restart() { m_sent = 0; }
    // A complete frame whose twelve bytes all arrived since the latest Restart and after the
    // probe's answer: one the scale sent as it stands, not made of an earlier line's bytes or
    // of the answer.
    bool HoldsSentFrame() const { return HoldsFrame() && m_sent == kFrameSize; }

  private:
    FrameBytes m_bytes{};
    std::size_t m_sent = 0;  // newest bytes that may belong to one sent frame
};

}  // namespace scale
