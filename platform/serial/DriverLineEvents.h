#pragma once

// Line events as a serial driver reports them: its counters of modem-line changes, breaks and
// line errors, and, where the device has modem lines, a helper thread that sleeps in the
// driver's wait for a modem-line change so that the change wakes the port's waiter when it
// happens. Devices without counters (pseudo-terminals) report nothing.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>

#include "platform/serial/Event.h"
#include "platform/serial/LineCounters.h"
#include "platform/serial/LineEventSource.h"

namespace serial_port {

class DriverLineEvents final : public LineEventSource {
  public:
    // Counts from now on; `fd` must stay open until this object is gone.
    DriverLineEvents(int fd, std::uint32_t mask);
    ~DriverLineEvents() override;
    DriverLineEvents(const DriverLineEvents&) = delete;
    DriverLineEvents& operator=(const DriverLineEvents&) = delete;

    std::uint32_t TakeEvents(std::uint32_t mask) override;
    int WaitDescriptor() const override { return m_changed ? m_changed->WaitDescriptor() : -1; }

  private:
    void WatchModemLines(int lines);

    int m_fd;
    bool m_hasCounters = false;
    LineCounters m_counters;
    std::optional<Event> m_changed;
    std::optional<Event> m_helperEnded;
    std::atomic<bool> m_stop{false};
    std::thread m_helper;
};

}  // namespace serial_port
