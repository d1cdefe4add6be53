#pragma once

// Word that serial devices came or went. The udev monitor is one source; tests bring their own.

#include <memory>
#include <string>
#include <vector>

#include "platform/serial/PortError.h"

namespace serial_port {

struct DeviceEvent {
    enum class Action { kAdded, kRemoved, kChanged };
    Action action = Action::kChanged;
    std::string node;  // the device node, when it has one
};

class DeviceEventSource {
  public:
    virtual ~DeviceEventSource() = default;
    // Readable while events wait: for the owner's event loop, which calls TakeEvents then.
    virtual int Descriptor() const = 0;
    // Every event that has come, oldest first; never blocks.
    virtual std::vector<DeviceEvent> TakeEvents() = 0;
};

// udev's events for terminal devices (after udev has applied its rules, so a node that is
// reported added has its final owner and mode). nullptr with `error` when udev cannot be reached.
std::unique_ptr<DeviceEventSource> OpenUdevMonitor(PortError* error = nullptr);

}  // namespace serial_port
