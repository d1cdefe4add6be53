#pragma once

// A program's own hold on one port (the reader's): opened with the scale's line settings and
// read in bulk on the thread that opened it. The panel's engine hands every byte to its window one
// at a time, as the dialog it mirrors needs; a reader without a window would only pay for that.
//
// Thread: the thread that made it, with a Qt event loop; events are called there.

#include <QSocketNotifier>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "platform/serial/PortError.h"
#include "platform/serial/SerialPort.h"
#include "scale/Protocol.h"

namespace scale_link {

class DirectPort {
  public:
    struct Events {
        std::function<void(std::span<const std::uint8_t>)> bytes;
        // The device went away (unplugged, hung up); the port is closed by then.
        std::function<void(const std::string& why)> lost;
    };

    explicit DirectPort(Events events);
    ~DirectPort();
    DirectPort(const DirectPort&) = delete;
    DirectPort& operator=(const DirectPort&) = delete;

    // Opens `device` with the scale's line settings (or `line`), throws away what was waiting,
    // and reads from then on. False with the reason in `error`.
    bool Open(const std::string& device, serial_port::PortError* error,
              const scale::LineSettings& line = scale::kLine);
    void Close();
    bool IsOpen() const { return m_port.has_value(); }
    const std::string& DevicePath() const { return m_device; }

    bool Send(std::uint8_t byte);
    bool Send(std::span<const std::uint8_t> bytes);
    // Waits up to `limit` for input and reads it, outside the event loop; true when any came.
    bool ReadWithin(std::chrono::milliseconds limit);

  private:
    // Reads what has come; false when the device went away.
    bool ReadNow();
    void Lost(const std::string& why);

    Events m_events;
    std::optional<serial_port::SerialPort> m_port;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::string m_device;
};

}  // namespace scale_link
