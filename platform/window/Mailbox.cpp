#include "platform/window/Mailbox.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <sched.h>

#include "platform/posix/WakeupFd.h"

namespace window {

namespace {

// How long the owner thread waits for a promised letter before going back to its event loop:
// far above a sender's gap between the bytes of one read, short enough not to be seen.
constexpr auto kPromiseWait = std::chrono::milliseconds(2);

// Within a promised run of letters each side does a few microseconds of work before the other
// may go on. Sleeping through that costs each byte two wake-ups, which between two cores (an
// interrupt each, dear in a virtual machine) cost many times that work; so where the other side
// runs on another core, each side first watches for a while: long enough for the other's few
// microseconds, short, since a virtual machine may take the other core away meanwhile.
constexpr auto kWatchLimit = std::chrono::microseconds(50);

void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

int CurrentCpu() {
    return ::sched_getcpu();
}

// True as soon as `ready()` is; false when it was not within kWatchLimit. Only where the other
// side last ran on another core than this thread: on the same one it could not go on meanwhile.
template <typename Ready>
bool WatchBriefly(int otherCpu, Ready ready) {
    const int cpu = CurrentCpu();
    if (cpu < 0 || otherCpu < 0 || cpu == otherCpu)
        return ready();
    const auto end = std::chrono::steady_clock::now() + kWatchLimit;
    while (!ready()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        CpuRelax();
    }
    return true;
}

}  // namespace

Mailbox::Mailbox(MessageOwner& owner) : m_owner(owner), m_ownerThread(std::this_thread::get_id()) {
    // Without an application object this thread has no event loop; messages are then handled
    // only by PumpOwner and WaitWhilePumping.
    if (QCoreApplication::instance() == nullptr)
        return;
    m_wakeFd = posix::MakeWakeupFd();
    if (!m_wakeFd)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_wakeFd.Get(), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [this] { OnPosted(); });
}

Mailbox::~Mailbox() {
    std::unique_lock<std::mutex> hold(m_lock);
    m_closed = true;
    RefuseAllLocked();
    m_answered.notify_all();
    // A refused sender still has to take the lock once more to read its answer.
    m_arrived.wait(hold, [&] { return m_senders == 0; });
    hold.unlock();
    m_notifier.reset();
    m_wakeFd.Reset();
}

void Mailbox::AnswerLocked(Letter& letter, LResult result, bool refused) {
    letter.result = result;
    letter.refused = refused;
    letter.answered.store(true, std::memory_order_release);
}

void Mailbox::RefuseAllLocked() {
    while (Letter* letter = PopLocked())
        AnswerLocked(*letter, 0, true);
}

void Mailbox::PushLocked(Letter& letter) {
    letter.next = nullptr;
    if (m_tail != nullptr)
        m_tail->next = &letter;
    else
        m_head = &letter;
    m_tail = &letter;
    m_queued.fetch_add(1, std::memory_order_release);
}

Mailbox::Letter* Mailbox::PopLocked() {
    Letter* letter = m_head;
    if (letter == nullptr)
        return nullptr;
    m_head = letter->next;
    if (m_head == nullptr)
        m_tail = nullptr;
    m_queued.fetch_sub(1, std::memory_order_relaxed);
    return letter;
}

bool Mailbox::Deliver(MessageId id, WParam w, LParam l, const std::function<void()>* call,
                      LResult& result, bool moreFollows) {
    Letter letter;
    letter.id = id;
    letter.w = w;
    letter.l = l;
    letter.call = call;
    letter.moreFollows = moreFollows;
    if (moreFollows)
        letter.senderCpu = CurrentCpu();
    bool post = false;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_closed) {
            result = 0;
            return false;
        }
        ++m_senders;
        PushLocked(letter);
        if (!m_posted && m_wakeFd) {
            m_posted = true;
            post = true;
        }
    }
    // Notified after letting go of the lock, so that the woken owner does not block on it.
    m_arrived.notify_all();
    // One wake-up drains every letter that came meanwhile.
    if (post)
        posix::SignalWakeupFd(m_wakeFd.Get());
    // A byte amid a read is handled in a moment; the read's last byte may be drawn at length.
    if (moreFollows)
        WatchBriefly(m_ownerCpu.load(std::memory_order_relaxed),
                     [&] { return letter.answered.load(std::memory_order_acquire); });

    std::unique_lock<std::mutex> hold(m_lock);
    m_answered.wait(hold, [&] { return letter.answered.load(); });
    result = letter.result;
    if (--m_senders == 0 && m_closed)
        m_arrived.notify_all();
    return !letter.refused;
}

void Mailbox::OnPosted() {
    for (bool cleared = false;; cleared = true) {
        Pump(-1);
        // Cleared after the answers went out, so the clearing costs the waiting sender nothing,
        // and a sender that was answered sends its next letter meanwhile without a signal.
        // While the flag is up no sender signals again, so one clearing per call is enough: a
        // burst of letters costs no read per letter.
        if (!cleared)
            posix::ClearWakeupFd(m_wakeFd.Get());
        // The flag drops only together with finding the queue empty: a sender whose wake-up
        // was just swallowed has queued its letter already, and one that comes later sees the
        // flag down and signals anew.
        std::unique_lock<std::mutex> hold(m_lock);
        AwaitPromisedLocked(hold);
        if (m_head == nullptr) {
            m_posted = false;
            return;
        }
    }
}

void Mailbox::AwaitPromisedLocked(std::unique_lock<std::mutex>& hold) {
    // A sender handing over a read byte by byte sends the next one at once: waiting for it here
    // spares the event loop a wake-up per byte. While m_posted stays up the sender signals no
    // wake-up either. A sender that breaks its promise calls Wake.
    if (!m_promised || m_head != nullptr)
        return;
    const std::uint64_t wakes = m_wakeCount;
    hold.unlock();
    WatchBriefly(m_senderCpu, [&] {
        return m_queued.load(std::memory_order_acquire) > 0 ||
               m_wakeCount.load(std::memory_order_relaxed) != wakes;
    });
    hold.lock();
    m_arrived.wait_for(hold, kPromiseWait,
                       [&] { return m_head != nullptr || m_wakeCount != wakes; });
    m_promised = false;
}

int Mailbox::Pump(int limit) {
    int handled = 0;
    Letter* letter = nullptr;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (limit != 0)
            letter = PopLocked();
    }
    while (letter != nullptr) {
        // The lock is free while the handler runs: it may send, pump or wait itself.
        LResult result = 0;
        if (letter->call)
            (*letter->call)();
        else
            result = m_owner.HandleMessage(letter->id, letter->w, letter->l);
        Letter* next = nullptr;
        {
            // One hold answers this letter and takes the next, so the owner thread does not
            // come back for the lock while the answered sender wakes up and wants it.
            std::lock_guard<std::mutex> hold(m_lock);
            AnswerLocked(*letter, result, false);
            m_promised = letter->moreFollows;
            if (m_promised) {
                m_senderCpu = letter->senderCpu;
                m_ownerCpu.store(CurrentCpu(), std::memory_order_relaxed);
            }
            ++handled;
            if (limit < 0 || handled < limit)
                next = PopLocked();
        }
        // The condition variable belongs to the mailbox, so notifying after the sender may
        // already have gone with its letter is safe.
        m_answered.notify_all();
        letter = next;
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
        auto ready = [&] { return m_head != nullptr || m_wakeCount != wakes; };
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
        m_answered.notify_all();
        if (done())
            return;
        hold.lock();
        m_arrived.wait(hold, [&] { return m_head != nullptr || m_wakeCount != wakes; });
    }
}

void Mailbox::Wake() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        ++m_wakeCount;
        m_promised = false;
    }
    m_arrived.notify_all();
}

bool Mailbox::WaitForMessage(std::chrono::milliseconds timeout, std::size_t count) {
    std::unique_lock<std::mutex> hold(m_lock);
    return m_arrived.wait_for(hold, timeout, [&] { return m_queued >= count; });
}

std::size_t Mailbox::Pending() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_queued.load();
}

}  // namespace window
