#pragma once

// The bytes a scale and its reader exchange on the serial line: the line settings, the probe
// and its answer, the 12-byte display frame and the key commands. The one place these values
// are written down. (The ports a scan tries are every COM number, serial_port's
// kFirstPortNumber..kLastPortNumber.)

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace scale {

// The scale talks at 9600 baud, no parity, 8 data bits, 1 stop bit, and nothing else.
struct LineSettings {
    int baud;
    char parity;  // 'N'
    int dataBits;
    int stopBits;
};
inline constexpr LineSettings kLine{9600, 'N', 8, 1};

// How long a probe waits for the answer before the port counts as having no scale.
inline constexpr std::chrono::milliseconds kProbeWait{150};

// The reader asks "is a scale there?" with the probe; a scale answers with the two header bytes.
inline constexpr std::uint8_t kProbe = 0x05;
inline constexpr std::uint8_t kHeader0 = 0x06;
inline constexpr std::uint8_t kHeader1 = 0xAA;

// A frame: the two header bytes, one byte that carries nothing, then the nine slot values.
inline constexpr std::size_t kFrameSize = 12;
inline constexpr std::size_t kIgnoredByte = 2;
inline constexpr std::size_t kFirstSlot = 3;
inline constexpr std::size_t kSlotCount = kFrameSize - kFirstSlot;
using FrameBytes = std::array<std::uint8_t, kFrameSize>;

// Key commands; a double-click sends the same letter with bit 7 set.
inline constexpr std::uint8_t kKeyData = 'D';
inline constexpr std::uint8_t kKeyMode = 'M';
inline constexpr std::uint8_t kKeyTare = 'T';
inline constexpr std::uint8_t kKeyOnOff = 'O';
inline constexpr std::uint8_t kDoubleClick = 0x80;

constexpr bool StartsFrame(std::uint8_t first, std::uint8_t second) {
    return first == kHeader0 && second == kHeader1;
}

// The nine slot values of a frame, in the order it carries them.
struct Slots {
    std::uint8_t wm = 0;
    std::uint8_t sign = 0;
    std::uint8_t unit = 0;
    std::array<std::uint8_t, 6> hex{};  // hex[0] is the leftmost cell

    bool operator==(const Slots&) const = default;
};

// The values of `frame`, whatever its header.
constexpr Slots SlotsOf(const FrameBytes& frame) {
    Slots values{frame[kFirstSlot], frame[kFirstSlot + 1], frame[kFirstSlot + 2], {}};
    for (std::size_t i = 0; i < values.hex.size(); ++i)
        values.hex[i] = frame[kFirstSlot + 3 + i];
    return values;
}

// A frame carrying `values`, its ignored byte 0.
constexpr FrameBytes FrameOf(const Slots& values) {
    FrameBytes frame{kHeader0, kHeader1, 0, values.wm, values.sign, values.unit};
    for (std::size_t i = 0; i < values.hex.size(); ++i)
        frame[kFirstSlot + 3 + i] = values.hex[i];
    return frame;
}

}  // namespace scale
