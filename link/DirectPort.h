#pragma once

// A program's own hold on one port (the reader's): opened with the scale's line settings and
// read in bulk on the thread that opened it. The panel's engine hands every byte to its window one
// at a time, as the dialog it mirrors needs; a reader without a window would only pay for that.
//
// Thread: the thread that made it, with a Qt event loop; events are called there.

#include <QSocketNotifier>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "link/Wire.h"
#include "platform/serial/PortError.h"
#include "scale/Protocol.h"

namespace scale_link {

// Keys wait for the driver to take them, no more than this many: a key that finds them all
// waiting is dropped, so a scale that reads nothing never holds the reader nor its memory.
inline constexpr std::size_t kKeyQueueBound = 64;

class DirectPort {
  public:
    struct Events {
        std::function<void(std::span<const std::uint8_t>)> bytes;
        // The device went away (unplugged, hung up); the port is closed by then.
        std::function<void(const std::string& why)> lost;
        // The keys that waited have all been handed to the driver.
        std::function<void()> keysTaken;
    };

    explicit DirectPort(Events events);
    ~DirectPort();
    DirectPort(const DirectPort&) = delete;
    DirectPort& operator=(const DirectPort&) = delete;

    // Opens `device` (a device path or a network wire, link/Wire.h) with the scale's line
    // settings (or `line`), throws away what was waiting, and reads from then on. The network
    // wire open already is kept and set to `line`. False with the reason in `error`.
    bool Open(const std::string& device, serial_port::PortError* error,
              const scale::LineSettings& line = scale::kLine);
    // Reads `wire`, open already at the settings wanted (a connection detection found its scale
    // on), as `device`.
    void Adopt(std::shared_ptr<Wire> wire, const std::string& device);
    // `wire`, opened elsewhere as `device` at `line` (a connection dialled off this thread), is
    // what the next Open of `device` at `line` reads; any other Open or Close drops it.
    void Offer(std::shared_ptr<Wire> wire, const std::string& device,
               const scale::LineSettings& line);
    void Close();
    bool IsOpen() const { return m_wire != nullptr; }
    const std::string& DevicePath() const { return m_device; }

    enum class SendResult { kSent, kDropped, kFailed };
    // Hands `byte` to the driver, or queues it while the driver takes none; never waits.
    SendResult Send(std::uint8_t byte);
    std::size_t KeysWaiting() const { return m_keys.size(); }
    // Whole commands of another family: written at once, waiting for the driver if need be.
    bool Send(std::span<const std::uint8_t> bytes);
    // Waits up to `limit` for input and reads it, outside the event loop; true when any came.
    bool ReadWithin(std::chrono::milliseconds limit);

  private:
    // Reads what has come; false when the device went away.
    bool ReadNow();
    void Lost(const std::string& why);
    // Hands the driver the keys that wait, as many as it takes now; false when the line failed.
    bool SendWaiting();

    Events m_events;
    std::shared_ptr<Wire> m_wire;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::unique_ptr<QSocketNotifier> m_writable;  // on while keys wait
    std::deque<std::uint8_t> m_keys;
    std::string m_device;
    struct Offered {
        std::shared_ptr<Wire> wire;
        std::string device;
        scale::LineSettings line;
    };
    std::optional<Offered> m_offered;
};

}  // namespace scale_link
