#pragma once

// The far end of a serial line, for the simulated scale and for tests: a pseudo-terminal whose
// device path a port can open. Closing it is exactly an unplug of that device.

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/posix/UniqueFd.h"

namespace serial_port {

class PseudoTerminal {
  public:
    // Opens a new pseudo-terminal pair in raw mode; the device side stays closed until a port
    // opens it. Returns nullopt with `error` set when the system refuses.
    static std::optional<PseudoTerminal> Create(std::string* error = nullptr);

    PseudoTerminal(PseudoTerminal&& other) noexcept;
    PseudoTerminal& operator=(PseudoTerminal&& other) noexcept;
    ~PseudoTerminal();

    // Path of the device side, e.g. /dev/pts/7.
    const std::string& DevicePath() const { return m_devicePath; }
    // The controlling descriptor, for poll() in an event loop; -1 after HangUp.
    int Descriptor() const { return m_master.Get(); }

    // Writes all of `bytes`; false when the line is gone or nobody has read for 10 s.
    bool Write(std::span<const std::uint8_t> bytes);
    // Waits up to `timeout` for at least one byte and returns what is there (empty on time-out
    // or when nobody holds the device side).
    std::vector<std::uint8_t> Read(std::chrono::milliseconds timeout);
    // Reads until `count` bytes arrived or `timeout` passed in total.
    std::vector<std::uint8_t> ReadExactly(std::size_t count, std::chrono::milliseconds timeout);
    // Closes the controlling side: the device side sees a hang-up.
    void HangUp();
    // Lets go of the device side, so that the controlling side reports a hang-up whenever no
    // port holds the line (as the simulated scale needs); QueuedAtDevice then knows nothing.
    void ReleaseDevice();

    // Bytes that reached the device side and that nobody read yet.
    std::size_t QueuedAtDevice() const;
    // Waits up to `timeout` until at least one byte reached the device side and is unread.
    bool WaitQueuedAtDevice(std::chrono::milliseconds timeout) const;

  private:
    PseudoTerminal(int master, std::string devicePath);

    posix::UniqueFd m_master;
    // Held open so that the line does not report a hang-up before a port opens it.
    posix::UniqueFd m_keepAlive;
    std::string m_devicePath;
};

}  // namespace serial_port
