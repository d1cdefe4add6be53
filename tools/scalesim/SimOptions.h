#pragma once

// Command line of karvel-scalesim.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "scale/Protocol.h"

namespace scalesim {

inline constexpr int kHighestComPort = 32;
// 9600 baud carries 960 bytes a second: 80 frames of 12 bytes.
inline constexpr int kHighestFrameRate = 80;
// 115 200 baud carries a family's short line (a dozen or two bytes) this often and more.
inline constexpr int kHighestLineRate = 1000;

struct SimOptions {
    std::string portDir;             // empty: serve the lines without linking them
    std::vector<int> scalePorts{1};  // COM numbers that answer as scales
    std::vector<int> silentPorts;    // COM numbers that exist but never answer
    int framesPerSecond = 10;
    std::uint32_t seed = 1;
    std::uint64_t frameLimit = 0;  // 0: no limit
    std::int64_t itemGrams = 0;    // --items: a packing line's target; 0: loads at random
    std::int64_t loadGrams = 0;    // --load: one load that stays; 0: none
    bool quiet = false;
    bool stopAtStdinEof = false;
    bool removePortDir = false;  // remove portDir at exit when it is left empty
    bool help = false;
    bool version = false;
    // Another family's lines instead of the panel's frames, served only while the port is set
    // to `line`'s speed (the only setting a pseudo-terminal shows).
    std::string protocol;
    std::optional<scale::LineSettings> line;  // none: the family's usual settings
    // --listen tcp:PORT: the one scale on that port of loopback, not on a pseudo-terminal.
    std::optional<std::uint16_t> listen;
    // --modbus-tcp PORT: the one scale as a weight transmitter on that port of loopback.
    std::optional<std::uint16_t> modbusTcp;
};

// `args` excludes the program name. Nullopt, with `error` set, for anything it cannot use.
std::optional<SimOptions> ParseSimOptions(std::span<const std::string_view> args,
                                          std::string* error);

std::string SimUsage();

}  // namespace scalesim
