#pragma once

// Types key sequences on a thread of its own, one after the other, through one back-end; never
// while the user holds a key down (where the back-end can tell), and never more than a bounded
// queue of them.
//
// Thread: [thread-safe] every public call; `say` is called on the typing thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "wedge/KeySink.h"

namespace wedge {

class Typist {
  public:
    using Say = std::function<void(const std::string&)>;
    // More sequences than this waiting are not typed: a stuck key must not leave a backlog.
    static constexpr std::size_t kMaxWaiting = 32;

    Typist(std::unique_ptr<KeySink> sink, Say say);
    ~Typist();
    Typist(const Typist&) = delete;
    Typist& operator=(const Typist&) = delete;

    // Queues `strokes`; false when the queue is full (nothing is queued then).
    bool Submit(Strokes strokes);
    // What is queued and not yet begun is not typed.
    void DropPending();
    // Waits until nothing is queued or being typed; false when `deadline` passed first.
    bool WaitIdle(std::chrono::milliseconds deadline);
    // Sequences typed whole so far.
    std::uint64_t Typed() const;

  private:
    void Run();
    // Waits while the user holds a key; false when stopped or dropped meanwhile.
    bool AwaitFreeKeyboard(std::uint64_t generation);
    // Whether the keys now go elsewhere than when the value's first stroke was typed (`focus`,
    // taken when `first`).
    bool FocusMoved(bool first, std::optional<unsigned long>* focus);

    // REQUIRES: only the typing thread uses it once the thread runs.
    std::unique_ptr<KeySink> m_sink;
    Say m_say;
    mutable std::mutex m_mutex;  // guards everything below
    std::condition_variable m_changed;
    std::deque<Strokes> m_waiting;
    bool m_busy = false;
    bool m_stop = false;
    std::uint64_t m_generation = 0;  // counts DropPending calls
    std::uint64_t m_typed = 0;
    std::thread m_thread;
};

}  // namespace wedge
