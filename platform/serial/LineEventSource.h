#pragma once

// Where a port's line events come from: modem-line changes, breaks and line errors.
// Thread: the watch thread waits on it and takes its events; it is made and destroyed while no
// thread waits on it.

#include <cstdint>

#include "platform/serial/Waitable.h"

namespace serial_port {

class LineEventSource : public Waitable {
  public:
    // Port events among kEventCts, kEventDsr, kEventRlsd, kEventRing, kEventBreak and
    // kEventError that happened since the last call, limited to `mask`. The descriptor
    // (WaitDescriptor) becomes readable when there may be some; a source without one is only
    // asked when the port wakes its waiter for another reason.
    virtual std::uint32_t TakeEvents(std::uint32_t mask) = 0;
};

}  // namespace serial_port
