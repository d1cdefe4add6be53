#pragma once

// The floor under the panel's per-byte delivery: two threads that sleep in poll on an eventfd
// each while they wait, one round trip per byte, paced like the stream (a burst of trips per
// frame). Measured in the driver between the readers' turns, so that it sees the same machine.

#include <chrono>

namespace mirror {

struct FloorCost {
    double cpuSecondsPerTrip = 0;  // both threads, the trips only
    double switchesPerTrip = 0;    // context switches of both threads, the trips only
};

// `rate` bursts a second of `tripsPerBurst` round trips each, for `duration`. The pacing
// thread's wake for each burst is left out: every reader pays one such wake per frame.
FloorCost MeasureHandoverFloor(int rate, int tripsPerBurst, std::chrono::milliseconds duration);

// The same pace through the engine's own hand-over as the panel has it: window::SendMessage
// from a worker into an owner whose thread (this one) runs its event loop. What this costs beyond
// the floor above is the mailbox's and the event loop's. Needs an application object.
FloorCost MeasureMailboxHandover(int rate, int tripsPerBurst, std::chrono::milliseconds duration);

}  // namespace mirror
