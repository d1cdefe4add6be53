#pragma once

// The far end of one COM port in a test: a pseudo-terminal whose bytes are collected by a
// thread. A scale peer answers the probe byte 0x05 with 0x06 0xAA; a silent one never answers;
// an odd one answers with bytes of its own.

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/UniqueFd.h"
#include "platform/serial/PseudoTerminal.h"
#include "tools/peers/Pty.h"

namespace testing_support {

class PtyPeer {
  public:
    enum class Role { Silent, Scale };

    explicit PtyPeer(Role role);
    explicit PtyPeer(std::vector<std::uint8_t> probeAnswer);
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    const std::string& DevicePath() const { return m_devicePath; }

    // Every byte received so far.
    std::vector<std::uint8_t> Received() const;
    // Waits until at least `count` bytes have been received; false when `deadline` passed first.
    // On the UI thread the event loop runs meanwhile.
    bool WaitForBytes(std::size_t count,
                      std::chrono::milliseconds deadline = std::chrono::seconds(10)) const;
    // Forgets what was received so far.
    void ClearReceived();

    bool Send(std::span<const std::uint8_t> bytes);
    // The line goes away, as when the device is unplugged.
    void HangUp();

  private:
    void Run();

    std::vector<std::uint8_t> m_probeAnswer;
    serial_port::PseudoTerminal m_pty;
    std::string m_devicePath;
    posix::UniqueFd m_stop;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_arrived;
    std::vector<std::uint8_t> m_received;
    std::mutex m_writeMutex;
    std::thread m_thread;
};

// A twelve-byte scale frame carrying `values` (WM, Sign, Unit, Hex1..Hex6).
std::vector<std::uint8_t> ScaleFrame(const std::array<std::uint8_t, 9>& values,
                                     std::uint8_t spare = 0);

}  // namespace testing_support
