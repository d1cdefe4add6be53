#pragma once

// The environment the component layer finds its stores and manifest by. A program's main reads
// it once and hands it over; a library has no main (and its host's environment cannot be handed
// across the component boundary), so without one each lookup or registration reads the
// process's own once at its start and hands that down. Each copy of the layer keeps its own.

#include "platform/posix/Environment.h"

namespace component {

// [main-thread] In main, before any other thread uses the layer; holds for the process's life.
void UseEnvironment(posix::Environment environment);

// The environment handed over, else the process's as it is now. Any thread.
posix::Environment EnvironmentInUse();

}  // namespace component
