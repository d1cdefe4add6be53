#pragma once

// Owner-window messaging: a worker thread hands a numbered message to an object that lives on
// the UI thread and waits until the object's handler has returned.

#include <chrono>
#include <cstddef>
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
// The owner thread's event loop handles them when the object was created after the application
// object (QCoreApplication); otherwise only PumpOwner and WaitWhilePumping do.
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
// thread runs it from its event loop (also inside a modal dialog's loop), from PumpOwner or from
// WaitWhilePumping.
LResult SendMessage(MessageOwner& owner, MessageId id, WParam w, LParam l);
// As SendMessage, from a sender that sends `owner` another message as soon as this one is
// answered (the next byte of one read): the owner thread waits for it briefly instead of going
// back to its event loop in between. A sender that does not send it after all calls Wake(owner).
LResult SendMessageBeforeMore(MessageOwner& owner, MessageId id, WParam w, LParam l);

// Runs `fn` on the owner thread and returns when it has run, the same way as SendMessage (so a
// WaitWhilePumping on the owner thread runs it too). Returns false when it was refused instead
// (the owner was going away, see WaitWhileRefusing).
bool Invoke(MessageOwner& owner, const std::function<void()>& fn);

// Owner thread: handles the messages already waiting for `owner`; returns how many it handled.
int PumpOwner(MessageOwner& owner);
// Owner thread: as above, but handles at most `limit` messages.
int PumpOwner(MessageOwner& owner, int limit);

// Owner thread: handles `owner`'s messages as they arrive until `done()` is true, sleeping in
// between. Whoever makes `done()` true calls Wake(owner) afterwards so the wait re-checks.
void WaitWhilePumping(MessageOwner& owner, const std::function<bool()>& done);
// As above, giving up after `timeout`; returns the last value of `done()`.
bool WaitWhilePumping(MessageOwner& owner, const std::function<bool()>& done,
                      std::chrono::milliseconds timeout);
// Owner thread: waits like WaitWhilePumping, but answers each message that arrives with 0
// without running any handler: for waits during destruction, when handlers must not run.
void WaitWhileRefusing(MessageOwner& owner, const std::function<bool()>& done);
// Any thread: makes a WaitWhilePumping on `owner` re-check its condition.
void Wake(MessageOwner& owner);

// Owner thread: sleeps until `count` messages for `owner` are waiting (they are not handled) or
// `timeout` passed; true when they are.
bool WaitForMessage(MessageOwner& owner, std::chrono::milliseconds timeout, std::size_t count = 1);
// Any thread: how many messages wait for `owner` now.
std::size_t PendingMessages(MessageOwner& owner);

// Calling thread: runs its event loop (every window, timer and message) for `duration`,
// sleeping when idle. Returns when the time is up.
void PumpThreadFor(std::chrono::milliseconds duration);

}  // namespace window
