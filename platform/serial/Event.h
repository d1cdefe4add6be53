#pragma once

// A manual-reset event: stays signalled from Set until Reset, whoever waits on it meanwhile.
// Thread: any.

#include <atomic>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/posix/UniqueFd.h"
#include "platform/serial/PortError.h"
#include "platform/serial/Waitable.h"

namespace serial_port {

class Event final : public Waitable {
  public:
    // Creates an unsignalled event; nullopt with `error` set when the system refuses.
    static std::optional<Event> Create(PortError* error = nullptr);

    Event(Event&& other) noexcept;
    Event& operator=(Event&& other) noexcept;
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    ~Event() override;

    void Set();
    void Reset();
    // Tells without waiting whether the event is signalled.
    bool IsSet() const { return m_signalled.load(std::memory_order_acquire); }

    int WaitDescriptor() const override { return m_fd.Get(); }

  private:
    explicit Event(posix::UniqueFd fd) : m_fd(std::move(fd)) {}

    posix::UniqueFd m_fd;
    // Set and Reset change the descriptor and the flag together.
    std::mutex m_lock;
    std::atomic<bool> m_signalled{false};
};

}  // namespace serial_port
