#include "tests/support/FakeDevices.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace testing_support {

namespace {

class FakeEventSource final : public serial_port::DeviceEventSource {
  public:
    using Take = std::function<std::vector<serial_port::DeviceEvent>()>;
    FakeEventSource(int descriptor, Take take)
        : m_descriptor(descriptor), m_take(std::move(take)) {}
    int Descriptor() const override { return m_descriptor; }
    std::vector<serial_port::DeviceEvent> TakeEvents() override { return m_take(); }

  private:
    int m_descriptor;
    Take m_take;
};

}  // namespace

FakeDevices::FakeDevices() : m_state(std::make_shared<State>()) {
    m_state->ready = serial_port::Event::Create();
    if (!m_state->ready)
        throw std::runtime_error("no event for device events");
}

scale_link::PortWatcher::Sources FakeDevices::Sources() {
    scale_link::PortWatcher::Sources sources;
    std::shared_ptr<State> state = m_state;
    sources.openEvents = [state]() -> std::unique_ptr<serial_port::DeviceEventSource> {
        return std::make_unique<FakeEventSource>(state->ready->WaitDescriptor(), [state] {
            std::lock_guard<std::mutex> hold(state->lock);
            state->ready->Reset();
            return std::exchange(state->events, {});
        });
    };
    sources.enumerate = [state] {
        std::lock_guard<std::mutex> hold(state->lock);
        return state->present;
    };
    return sources;
}

void FakeDevices::Plug(serial_port::SerialDevice device) {
    serial_port::DeviceEvent event{serial_port::DeviceEvent::Action::kAdded, device.node};
    {
        std::lock_guard<std::mutex> hold(m_state->lock);
        m_state->present.push_back(std::move(device));
    }
    Post(std::move(event));
}

void FakeDevices::Unplug(const std::string& node) {
    {
        std::lock_guard<std::mutex> hold(m_state->lock);
        std::erase_if(m_state->present,
                      [&](const serial_port::SerialDevice& d) { return d.node == node; });
    }
    Post({serial_port::DeviceEvent::Action::kRemoved, node});
}

std::size_t FakeDevices::PendingEvents() const {
    std::lock_guard<std::mutex> hold(m_state->lock);
    return m_state->events.size();
}

void FakeDevices::Post(serial_port::DeviceEvent event) {
    std::lock_guard<std::mutex> hold(m_state->lock);
    m_state->events.push_back(std::move(event));
    m_state->ready->Set();
}

}  // namespace testing_support
