#pragma once

// The scan over the ports: COM1 to COM32 in turn (or one chosen port) until one is kept.

#include <functional>

#include "platform/serial/PortMap.h"

namespace scale_link {

// The first port that `take` keeps: `only` (a number from PortMap::Choose) when it is not 0,
// else COM1 to COM32 in turn; 0 when it keeps none. The machine's devices are looked at once
// for the whole scan.
int FirstPort(const serial_port::PortMap& ports, unsigned only,
              const std::function<bool(int port)>& take);

}  // namespace scale_link
