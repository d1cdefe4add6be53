#pragma once

// Owner-window messaging: a worker thread hands a numbered message to an object that lives on
// the UI thread and waits until the object's handler has returned.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

class QObject;

namespace window {

using MessageId = std::uint32_t;
using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

inline constexpr MessageId kUserMessage = 0x0400;

class Mailbox;

// Base of an object that receives messages on the thread that created it (its owner thread).
// REQUIRES: destroyed on the owner thread, after every sender has stopped sending to it.
class MessageOwner {
  public:
    MessageOwner();
    virtual ~MessageOwner();
    MessageOwner(const MessageOwner&) = delete;
    MessageOwner& operator=(const MessageOwner&) = delete;

    // Called on the owner thread for each message. Unhandled messages return 0.
    virtual LResult HandleMessage(MessageId id, WParam w, LParam l) = 0;

    Mailbox& GetMailbox() { return *m_mailbox; }

  private:
    std::unique_ptr<Mailbox> m_mailbox;
};

// Delivers a message synchronously from any thread: on the owner thread it is a direct call;
// from another thread the caller blocks until the owner thread has run the handler. The owner
// thread runs it from its event loop, from PumpOwner or from WaitWhilePumping.
LResult SendMessage(MessageOwner& owner, MessageId id, WParam w, LParam l);

// Owner thread: handles the messages already waiting for `owner`; returns how many it handled.
int PumpOwner(MessageOwner& owner);

// Owner thread: handles `owner`'s messages as they arrive until `done()` is true, sleeping in
// between. Whoever makes `done()` true calls Wake(owner) afterwards so the wait re-checks.
void WaitWhilePumping(MessageOwner& owner, const std::function<bool()>& done);
// Any thread: makes a WaitWhilePumping on `owner` re-check its condition.
void Wake(MessageOwner& owner);

// Calling thread: runs its event loop (every window, timer and message) for `duration`,
// sleeping when idle. Returns when the time is up.
void PumpThreadFor(std::chrono::milliseconds duration);

}  // namespace window
