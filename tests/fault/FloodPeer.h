#pragma once

// A peer that babbles: once started it writes a fixed amount of pseudo-random bytes into its
// pseudo-terminal as fast as the line takes them. It reads nothing.

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <thread>

#include "platform/posix/UniqueFd.h"
#include "platform/serial/PseudoTerminal.h"

namespace faulttest {

class FloodPeer {
  public:
    // `total` bytes from a generator seeded with `seed`, so every run sends the same stream.
    FloodPeer(std::size_t total, std::uint32_t seed);
    // Stops writing and hangs up.
    ~FloodPeer();
    FloodPeer(const FloodPeer&) = delete;
    FloodPeer& operator=(const FloodPeer&) = delete;

    const std::string& DevicePath() const { return m_pty.DevicePath(); }

    void Start();
    // Any thread.
    std::size_t Written() const { return m_written.load(); }
    bool Done() const { return Written() == m_total; }
    // Writes `bytes` after the flood (false when the line is gone). REQUIRES: Done().
    bool Send(std::span<const std::uint8_t> bytes) { return m_pty.Write(bytes); }

  private:
    void Run(std::uint32_t seed);

    serial_port::PseudoTerminal m_pty;
    const std::size_t m_total;
    const std::uint32_t m_seed;
    std::atomic<std::size_t> m_written{0};
    posix::UniqueFd m_stop;
    std::thread m_thread;
};

}  // namespace faulttest
