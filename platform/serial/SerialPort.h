#pragma once

// One open serial device (a UART, a USB adapter or a pseudo-terminal), held exclusively. The
// device gets back the line settings it had before it was opened when the port is closed.
// Thread: one thread configures the port at a time; reads, writes and waits may come from
// another thread while no configuration call runs (the caller's lock sees to that).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "platform/posix/UniqueFd.h"
#include "platform/serial/PortError.h"
#include "platform/serial/PortTypes.h"
#include "platform/serial/Waitable.h"

namespace serial_port {

struct IoResult {
    std::size_t bytes = 0;
    PortError error;
    // The failure came while waiting for the operation to finish, not when it was started.
    bool failedWhileWaiting = false;

    bool Failed() const { return error.Failed(); }
};

class SerialPort final : public Waitable {
  public:
    // Opens `devicePath` for reading and writing, exclusively: a device that another program
    // or another SerialPort holds is refused as kBusy, also for root. nullopt with `error` set
    // (kind, system text, and a detail such as the device's group) when it cannot be opened.
    static std::optional<SerialPort> Open(const std::string& devicePath, PortError* error);

    SerialPort(SerialPort&& other) noexcept;
    SerialPort& operator=(SerialPort&& other) noexcept;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;
    ~SerialPort() override;

    const std::string& DevicePath() const { return m_devicePath; }

    // Time-outs are kept here and bound reads and writes; a write of n bytes, its drain
    // included, may take writeTotalMultiplier * n + writeTotalConstant ms (no bound when both
    // are 0).
    PortError SetTimeouts(const Timeouts& timeouts);

    // Which events a wait on this port reports. Bits outside kKnownEvents are refused.
    PortError SetEventMask(std::uint32_t mask);
    std::uint32_t GetEventMask() const { return m_eventMask; }

    PortError ReadLineState(LineState& state) const;
    // Applies `state` in raw mode and checks that the device took it (a device that silently
    // keeps other settings, as a pseudo-terminal does with parity, is refused as
    // kInvalidArgument). RTS is driven as asked where the device has modem lines.
    PortError ApplyLineState(const LineState& state);

    // Throws away everything received and not read, and what a failed write left unsent; never
    // bytes of a write that was reported complete.
    PortError Purge();
    // Bytes received and not yet read.
    PortError QueuedInput(std::size_t& count) const;
    // Reads at most one byte without blocking for long: 0 bytes when none came within the read
    // time-outs (or the line was hung up; a wait then reports the hang-up).
    IoResult ReadByte(std::uint8_t& byte);
    // Reads what has come, up to `into`'s size, without waiting: 0 bytes when nothing has. A
    // hung-up line reads as kDeviceGone.
    IoResult ReadAvailable(std::span<std::uint8_t> into);
    // Writes all of `bytes` and returns when they have left the port, or fails (kTimedOut when
    // the write time-outs ran out first).
    IoResult Write(std::span<const std::uint8_t> bytes);
    // Hands the driver what it takes now, without waiting for room or for the bytes to leave: 0
    // bytes when it takes none (a wait for writing tells when it may).
    IoResult WriteAvailable(std::span<const std::uint8_t> bytes);

    int WaitDescriptor() const override { return m_fd.Get(); }
    bool WaitsForInput() const override { return (m_eventMask & kEventRxChar) != 0; }

  private:
    struct SavedSettings;

    SerialPort(int fd, std::string devicePath);
    void Release();

    posix::UniqueFd m_fd;
    // What the device had when this object took it; put back before it lets go.
    std::unique_ptr<SavedSettings> m_saved;
    std::string m_devicePath;
    bool m_exclusive = false;  // this object set the device's exclusive flag
    Timeouts m_timeouts;
    std::uint32_t m_eventMask = 0;
    unsigned m_baud = 9600;  // for pacing the wait for the output queue to run empty
};

}  // namespace serial_port
