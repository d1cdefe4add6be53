#pragma once

// The received bytes as karvel-read --raw prints them: a line holds the time of its first byte,
// up to 16 bytes in hex and the same bytes as ASCII ('.' for what is not printable), and ends
// when a burst ends or 16 bytes are in it. A frame start (06 aa) begins a line of its own,
// marked "<- frame start"; when its 06 was printed already (a burst ended between the two), the
// line begins with the aa.
//
// Thread: one at a time; no Qt.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace record {

class RawLines {
  public:
    using Clock = std::chrono::system_clock;

    // Adds one byte; `frameStart` when it is the aa of 06 aa. Returns the line it completes,
    // with its newline.
    std::optional<std::string> Add(std::uint8_t byte, bool frameStart, Clock::time_point now);
    // The line taken so far (a burst ended), with its newline; none when it is empty.
    std::optional<std::string> Flush();

  private:
    std::vector<std::uint8_t> m_bytes;
    Clock::time_point m_first;
    bool m_frameStart = false;
};

}  // namespace record
