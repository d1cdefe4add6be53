#include "link/PortScan.h"

namespace scale_link {

int FirstPort(const serial_port::PortMap& ports, unsigned only,
              const std::function<bool(int port)>& take) {
    const serial_port::PortMap::Snapshot devices(ports);
    const unsigned first = only != 0 ? only : serial_port::kFirstPortNumber;
    const unsigned last = only != 0 ? only : serial_port::kLastPortNumber;
    for (unsigned port = first; port <= last; ++port) {
        if (take(static_cast<int>(port)))
            return static_cast<int>(port);
    }
    return 0;
}

}  // namespace scale_link
