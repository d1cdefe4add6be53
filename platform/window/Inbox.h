#pragma once

// Calls that other threads hand to one thread's event loop without waiting for them. The hand-
// over goes through a mutex and an eventfd, not through the event queue, so the thread checker
// sees every byte of a call pass between the threads.

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/posix/UniqueFd.h"

class QObject;
class QSocketNotifier;

namespace window {

class Inbox {
  public:
    // Made on the thread whose event loop runs the calls.
    Inbox();
    ~Inbox();
    Inbox(const Inbox&) = delete;
    Inbox& operator=(const Inbox&) = delete;

    // Any thread: `call` runs on the owner thread soon, after the calls posted before it.
    void Post(std::function<void()> call);

  private:
    void RunPosted();

    std::mutex m_lock;
    std::vector<std::function<void()>> m_calls;
    posix::UniqueFd m_wakeFd;
    std::unique_ptr<QObject> m_owner;  // the owner thread's, for the event queue
    std::unique_ptr<QSocketNotifier> m_notifier;
};

}  // namespace window
