#pragma once

// The far end of a COM port that speaks another scale family, in a test: a pseudo-terminal whose
// thread records every byte it receives and talks only while the port is set to the peer's own
// speed (a pseudo-terminal shows the speed a reader set; data bits and parity it does not
// show). It streams lines, answers queries, or sends noise at any speed.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/posix/UniqueFd.h"
#include "platform/serial/PseudoTerminal.h"

namespace testing_support {

class FamilyPeer {
  public:
    struct Talk {
        unsigned baud = 9600;
        std::vector<std::string> stream;  // sent in turn, one every `every`
        std::chrono::milliseconds every{50};
        std::vector<std::pair<std::string, std::string>> answers;  // query, answer
        bool noise = false;                        // random bytes all the time, at any speed
        std::chrono::milliseconds answerAfter{0};  // how long each answer takes to come
    };

    explicit FamilyPeer(Talk talk);
    ~FamilyPeer();
    FamilyPeer(const FamilyPeer&) = delete;
    FamilyPeer& operator=(const FamilyPeer&) = delete;

    const std::string& DevicePath() const { return m_devicePath; }
    std::string Received() const;
    // The speeds the port was set to while the peer looked, in order, each once in a row.
    std::vector<unsigned> Speeds() const;
    // Waits until what was received holds `text`; false when `deadline` passed first.
    bool WaitForReceived(const std::string& text,
                         std::chrono::milliseconds deadline = std::chrono::seconds(60)) const;

  private:
    void Run();
    bool AtOwnSpeed();
    void Write(const std::string& bytes);

    Talk m_talk;
    serial_port::PseudoTerminal m_pty;
    std::string m_devicePath;
    posix::UniqueFd m_stop;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_arrived;
    std::string m_received;
    std::vector<unsigned> m_speeds;
    std::thread m_thread;
};

}  // namespace testing_support
