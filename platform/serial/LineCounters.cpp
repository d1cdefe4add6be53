#include "platform/serial/LineCounters.h"

#include "platform/serial/PortTypes.h"

namespace serial_port {

std::uint32_t EventsBetween(const LineCounters& before, const LineCounters& after,
                            std::uint32_t mask) {
    std::uint32_t events = 0;
    if (after.cts != before.cts)
        events |= kEventCts;
    if (after.dsr != before.dsr)
        events |= kEventDsr;
    if (after.carrier != before.carrier)
        events |= kEventRlsd;
    if (after.ring != before.ring)
        events |= kEventRing;
    if (after.breaks != before.breaks)
        events |= kEventBreak;
    if (after.frameErrors != before.frameErrors || after.overruns != before.overruns ||
        after.parityErrors != before.parityErrors || after.bufferOverruns != before.bufferOverruns)
        events |= kEventError;
    return events & mask;
}

}  // namespace serial_port
