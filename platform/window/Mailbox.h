#pragma once

// The queue of messages sent to one MessageOwner from other threads. Each waiting sender's
// letter lives on the sender's stack until the owner thread has answered it.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/posix/UniqueFd.h"
#include "platform/window/Messages.h"

class QSocketNotifier;

namespace window {

class Mailbox {
  public:
    // Called on the owner thread; `owner` outlives the mailbox.
    explicit Mailbox(MessageOwner& owner);
    // Answers every waiting sender with 0.
    ~Mailbox();
    Mailbox(const Mailbox&) = delete;
    Mailbox& operator=(const Mailbox&) = delete;

    bool OnOwnerThread() const { return std::this_thread::get_id() == m_ownerThread; }

    // Other threads: queue a message or a call and wait for the answer. False when refused.
    // `moreFollows`: the sender sends another letter as soon as this one is answered.
    bool Deliver(MessageId id, WParam w, LParam l, const std::function<void()>* call,
                 LResult& result, bool moreFollows = false);

    // Handles waiting letters, at most `limit` (all when negative).
    int Pump(int limit);
    bool WaitWhilePumping(const std::function<bool()>& done,
                          std::optional<std::chrono::steady_clock::time_point> deadline);
    void WaitWhileRefusing(const std::function<bool()>& done);
    void Wake();
    bool WaitForMessage(std::chrono::milliseconds timeout, std::size_t count);
    std::size_t Pending();

  private:
    struct Letter {
        MessageId id = 0;
        WParam w = 0;
        LParam l = 0;
        const std::function<void()>* call = nullptr;
        LResult result = 0;
        // Also read without the lock by a watching sender; set only under it.
        std::atomic<bool> answered{false};
        bool refused = false;
        bool moreFollows = false;
        int senderCpu = -1;
        Letter* next = nullptr;  // queued after this one
    };

    // REQUIRES: m_lock held. The caller notifies m_answered once it has let go of the lock.
    void AnswerLocked(Letter& letter, LResult result, bool refused);
    void RefuseAllLocked();
    // REQUIRES: m_lock held. The letters live on their senders' stacks, so queueing allocates
    // nothing.
    void PushLocked(Letter& letter);
    Letter* PopLocked();
    // Runs from the owner thread's event loop when m_wakeFd became readable.
    void OnPosted();
    // REQUIRES: m_lock held through `hold`. Waits briefly for a letter that was promised.
    void AwaitPromisedLocked(std::unique_lock<std::mutex>& hold);

    MessageOwner& m_owner;
    const std::thread::id m_ownerThread;
    std::mutex m_lock;
    std::condition_variable m_arrived;   // a letter came or Wake was called
    std::condition_variable m_answered;  // a letter was answered
    Letter* m_head = nullptr;            // oldest waiting letter
    Letter* m_tail = nullptr;
    // These two are also read without the lock by a watching owner thread; changed only under it.
    std::atomic<std::size_t> m_queued{0};
    std::atomic<std::uint64_t> m_wakeCount{0};
    // Where the two sides of a promised run last ran: watching for the other side pays only
    // when it runs on another core.
    std::atomic<int> m_ownerCpu{-1};
    int m_senderCpu = -1;   // owner thread only
    bool m_posted = false;  // m_wakeFd was signalled and OnPosted has not emptied the queue since
    bool m_closed = false;
    bool m_promised = false;  // the last answered letter said that another follows at once
    int m_senders = 0;        // threads inside Deliver; the destructor waits for them to leave
    // Signalled by senders; the owner thread's event loop watches it (also inside a modal
    // dialog's loop). Empty when there is no event loop to watch it.
    posix::UniqueFd m_wakeFd;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

}  // namespace window
