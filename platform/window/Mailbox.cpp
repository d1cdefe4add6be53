#include "Mailbox.h"

#include <QCoreApplication>
#include <QObject>

namespace window {

Mailbox::Mailbox(MessageOwner& owner)
    : m_owner(owner),
      m_ownerThread(std::this_thread::get_id()),
      m_receiver(std::make_unique<QObject>()) {}

Mailbox::~Mailbox() {
    std::unique_lock<std::mutex> hold(m_lock);
    m_closed = true;
    RefuseAllLocked();
    // A refused sender still has to take the lock once more to read its answer.
    m_arrived.wait(hold, [&] { return m_senders == 0; });
}

void Mailbox::AnswerLocked(Letter& letter, LResult result, bool refused) {
    letter.result = result;
    letter.refused = refused;
    letter.answered = true;
    // Notified under the lock: the sender cannot return (and drop the letter) before we let go.
    letter.answeredSignal.notify_one();
}

void Mailbox::RefuseAllLocked() {
    while (!m_queue.empty()) {
        Letter* letter = m_queue.front();
        m_queue.pop_front();
        AnswerLocked(*letter, 0, true);
    }
}

bool Mailbox::Deliver(MessageId id, WParam w, LParam l, const std::function<void()>* call,
                      LResult& result) {
    Letter letter;
    letter.id = id;
    letter.w = w;
    letter.l = l;
    letter.call = call;
    bool post = false;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_closed) {
            result = 0;
            return false;
        }
        ++m_senders;
        m_queue.push_back(&letter);
        m_arrived.notify_all();
        if (!m_posted && QCoreApplication::instance() != nullptr) {
            m_posted = true;
            post = true;
        }
    }
    // One queued call drains every letter that came meanwhile.
    if (post)
        QMetaObject::invokeMethod(
            m_receiver.get(), [this] { OnPosted(); }, Qt::QueuedConnection);

    std::unique_lock<std::mutex> hold(m_lock);
    letter.answeredSignal.wait(hold, [&] { return letter.answered; });
    result = letter.result;
    if (--m_senders == 0 && m_closed)
        m_arrived.notify_all();
    return !letter.refused;
}

void Mailbox::OnPosted() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_posted = false;
    }
    Pump(-1);
}

int Mailbox::Pump(int limit) {
    int handled = 0;
    while (limit < 0 || handled < limit) {
        Letter* letter = nullptr;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            if (m_queue.empty())
                break;
            letter = m_queue.front();
            m_queue.pop_front();
        }
        // The lock is free while the handler runs: it may send, pump or wait itself.
        LResult result = 0;
        if (letter->call)
            (*letter->call)();
        else
            result = m_owner.HandleMessage(letter->id, letter->w, letter->l);
        {
            std::lock_guard<std::mutex> hold(m_lock);
            AnswerLocked(*letter, result, false);
        }
        ++handled;
    }
    return handled;
}

bool Mailbox::WaitWhilePumping(const std::function<bool()>& done,
                               std::optional<std::chrono::steady_clock::time_point> deadline) {
    for (;;) {
        std::uint64_t wakes = 0;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            wakes = m_wakeCount;
        }
        Pump(-1);
        // A Wake after the count was read makes the wait below return at once.
        if (done())
            return true;
        std::unique_lock<std::mutex> hold(m_lock);
        auto ready = [&] { return !m_queue.empty() || m_wakeCount != wakes; };
        if (!deadline) {
            m_arrived.wait(hold, ready);
        } else if (!m_arrived.wait_until(hold, *deadline, ready)) {
            hold.unlock();
            return done();
        }
    }
}

void Mailbox::WaitWhileRefusing(const std::function<bool()>& done) {
    for (;;) {
        std::unique_lock<std::mutex> hold(m_lock);
        RefuseAllLocked();
        const std::uint64_t wakes = m_wakeCount;
        hold.unlock();
        if (done())
            return;
        hold.lock();
        m_arrived.wait(hold, [&] { return !m_queue.empty() || m_wakeCount != wakes; });
    }
}

void Mailbox::Wake() {
    std::lock_guard<std::mutex> hold(m_lock);
    ++m_wakeCount;
    m_arrived.notify_all();
}

bool Mailbox::WaitForMessage(std::chrono::milliseconds timeout, std::size_t count) {
    std::unique_lock<std::mutex> hold(m_lock);
    return m_arrived.wait_for(hold, timeout, [&] { return m_queue.size() >= count; });
}

std::size_t Mailbox::Pending() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_queue.size();
}

}  // namespace window
