#pragma once

// The machine's serial devices as a test makes them come and go: what an enumeration finds, and
// an event for each change, as udev would send.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/PortWatcher.h"
#include "platform/serial/Event.h"
#include "platform/serial/SerialDevices.h"

namespace testing_support {

class FakeDevices {
  public:
    FakeDevices();

    // Where a panel's watcher takes its events and enumeration from.
    scale_link::PortWatcher::Sources Sources();

    void Plug(serial_port::SerialDevice device);
    void Unplug(const std::string& node);
    // Events posted that no watcher has taken yet.
    std::size_t PendingEvents() const;

  private:
    struct State {
        std::mutex lock;
        std::vector<serial_port::SerialDevice> present;
        std::vector<serial_port::DeviceEvent> events;
        std::optional<serial_port::Event> ready;
    };
    void Post(serial_port::DeviceEvent event);

    std::shared_ptr<State> m_state;
};

}  // namespace testing_support
