#pragma once

// An X client that hears every bell the server rings, for any client (XKB's bell notification),
// kept apart from GoogleTest: Xlib's macros clash with its names.

#include <chrono>
#include <memory>
#include <string>

namespace benchtest {

class BellWatch {
  public:
    // Connects to `display`; Connected() is false when it could not or the server has no XKB.
    explicit BellWatch(const std::string& display);
    ~BellWatch();
    BellWatch(const BellWatch&) = delete;
    BellWatch& operator=(const BellWatch&) = delete;

    bool Connected() const;
    // The bells heard so far. Every bell that the server rang before this call is counted: the
    // call makes a round trip and takes what came before its answer.
    int Bells();
    // Waits until at least `count` bells were heard; false after `patience`.
    bool WaitFor(int count, std::chrono::milliseconds patience);

  private:
    void Take();
    struct Connection;
    std::unique_ptr<Connection> m_x;
    int m_bells = 0;
};

}  // namespace benchtest
