#pragma once

// Captured readings typed into the focused window: the format turned into key strokes, handed
// to a typing thread with one back-end. Readings without a number are skipped, said once.
//
// Thread: made and offered readings on one thread (which has a QCoreApplication when the
// back-end is the portal); `say` is called on that thread and on the typing thread.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "record/Capture.h"
#include "wedge/KeySequence.h"
#include "wedge/KeySink.h"
#include "wedge/TypeOptions.h"
#include "wedge/Typist.h"

namespace wedge {

inline constexpr const char* kUinputPath = "/dev/uinput";

// The back-end `via` (not auto) for `session`; nullptr, with `error` set to the reason, when it
// cannot type there.
std::unique_ptr<KeySink> OpenSink(Via via, const Session& session, std::string* error);

class Wedge {
  public:
    using Say = std::function<void(const std::string&)>;

    // Types through `sink` by `options` (whose format has been checked).
    Wedge(const TypeOptions& options, std::unique_ptr<KeySink> sink, Say say);
    // The back-end that `options` and `session` choose, opened; nullptr, with `error` set to
    // "cannot type: ..." when it cannot work.
    static std::unique_ptr<Wedge> Start(const TypeOptions& options, const Session& session, Say say,
                                        std::string* error);

    enum class Outcome { kQueued, kNoNumber, kRefused, kBacklog };
    Outcome Offer(const record::CapturedReading& reading);
    // Readings offered and not yet begun are not typed (their port was just lost).
    void DropPending() { m_typist.DropPending(); }
    bool WaitIdle(std::chrono::milliseconds deadline) { return m_typist.WaitIdle(deadline); }
    std::uint64_t Typed() const { return m_typist.Typed(); }

  private:
    std::vector<Piece> m_format;
    char m_decimal;
    Say m_say;
    bool m_toldNoNumber = false;
    bool m_toldBacklog = false;
    Typist m_typist;
};

}  // namespace wedge
