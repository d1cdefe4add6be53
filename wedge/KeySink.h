#pragma once

// One way of typing key strokes into the focused window: the X server's XTEST extension, the
// desktop's remote-desktop portal, or a virtual keyboard through the kernel's uinput.
//
// Thread: opened on one thread, then used by the typing thread only (Typist), never by two
// threads at once.

#include <chrono>
#include <optional>
#include <string>

#include "wedge/KeySequence.h"

namespace wedge {

// Pacing: a key is held this long and the next one follows this long after its release. About
// 50 keys a second: several times a fast typist, well below what a desktop takes.
inline constexpr auto kKeyHeld = std::chrono::milliseconds(4);
inline constexpr auto kKeyGap = std::chrono::milliseconds(16);

class KeySink {
  public:
    virtual ~KeySink() = default;

    // Why these strokes cannot be typed this way at all; empty when they can.
    virtual std::string CannotType(const Strokes& strokes) const = 0;
    // Presses and releases the keys of one stroke, paced; false, with `error` set, when it could
    // not.
    virtual bool Type(const Stroke& stroke, std::string* error) = 0;
    // Whether the user is holding a key down now; false where the back-end cannot tell.
    virtual bool UserHoldsKey() { return false; }
    // The window that gets the keys now, as the back-end names it; none where it cannot tell.
    // A value whose focus moves while it is typed is not typed on into another window.
    virtual std::optional<unsigned long> Focus() { return std::nullopt; }
};

}  // namespace wedge
