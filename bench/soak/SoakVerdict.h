#pragma once

// What a soak run counted, and whether it shows that every frame sent was decoded.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace soak {

struct SoakCounts {
    std::uint64_t framesAsked = 0;               // the simulator's frame limit
    std::optional<std::uint64_t> framesSent;     // as the simulator reported at its end
    std::uint64_t framesReceived = 0;            // whole frames the panel's port delivered
    std::uint64_t answersReceived = 0;           // probe answers among the bytes
    std::uint64_t strayBytes = 0;                // bytes of neither
    std::uint64_t displayCalls = 0;              // Display calls that reached the control
    std::vector<std::string> boxesDuringStream;  // messages the panel showed meanwhile
};

// The panel decodes a probe answer's header, too, as the start of a frame once ten more bytes
// have followed it: each answer accounts for one Display call that carries no frame.
std::uint64_t FramesDecoded(const SoakCounts& counts);

// Each way the run fell short, in words; empty when it passed.
std::vector<std::string> Shortfalls(const SoakCounts& counts);

}  // namespace soak
