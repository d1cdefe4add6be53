#pragma once

// Plain values that describe a port's configuration.

#include <cstdint>

namespace serial_port {

// Port event bits, as an event mask and as the events a wait reports.
inline constexpr std::uint32_t kEventRxChar = 0x0001;    // a byte arrived
inline constexpr std::uint32_t kEventRxFlag = 0x0002;    // the event character arrived
inline constexpr std::uint32_t kEventTxEmpty = 0x0004;   // the output queue ran empty
inline constexpr std::uint32_t kEventCts = 0x0008;       // clear-to-send changed
inline constexpr std::uint32_t kEventDsr = 0x0010;       // data-set-ready changed
inline constexpr std::uint32_t kEventRlsd = 0x0020;      // carrier detect changed
inline constexpr std::uint32_t kEventBreak = 0x0040;     // a break was received
inline constexpr std::uint32_t kEventError = 0x0080;     // framing, overrun or parity error
inline constexpr std::uint32_t kEventRing = 0x0100;      // ring indicator
inline constexpr std::uint32_t kEventPrinter = 0x0200;   // printer error
inline constexpr std::uint32_t kEventRx80Full = 0x0400;  // input queue 80 % full
inline constexpr std::uint32_t kEventProvider1 = 0x0800;
inline constexpr std::uint32_t kEventProvider2 = 0x1000;
// A mask with any other bit is refused.
inline constexpr std::uint32_t kKnownEvents = 0x1FFF;

// Time-outs in milliseconds. A read of n bytes may take up to
// readTotalMultiplier * n + readTotalConstant, a write likewise with the write members.
struct Timeouts {
    std::uint32_t readInterval = 0;
    std::uint32_t readTotalMultiplier = 0;
    std::uint32_t readTotalConstant = 0;
    std::uint32_t writeTotalMultiplier = 0;
    std::uint32_t writeTotalConstant = 0;
};

enum class Parity : char { kNone = 'N', kEven = 'E', kOdd = 'O', kMark = 'M', kSpace = 'S' };
enum class StopBits { kOne, kOneAndHalf, kTwo };
enum class RtsControl { kDisable, kEnable };

// Line settings as read from a port and applied to it. The port always runs raw: bytes pass
// unchanged, no flow control.
struct LineState {
    unsigned baud = 9600;
    Parity parity = Parity::kNone;
    int dataBits = 8;
    StopBits stopBits = StopBits::kOne;
    RtsControl rtsControl = RtsControl::kEnable;
    // False for devices without modem-control lines (pseudo-terminals): RTS is then not driven.
    bool hasModemLines = false;

    bool operator==(const LineState&) const = default;
};

}  // namespace serial_port
