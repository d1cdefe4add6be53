#include "platform/window/Messages.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <thread>

#include "platform/window/Mailbox.h"

namespace window {

MessageOwner::MessageOwner() : m_mailbox(std::make_unique<Mailbox>(*this)) {}

MessageOwner::~MessageOwner() = default;

namespace {

LResult Send(MessageOwner& owner, MessageId id, WParam w, LParam l, bool moreFollows) {
    Mailbox& box = owner.GetMailbox();
    if (box.OnOwnerThread())
        return owner.HandleMessage(id, w, l);
    LResult result = 0;
    box.Deliver(id, w, l, nullptr, result, moreFollows);
    return result;
}

}  // namespace

LResult SendMessage(MessageOwner& owner, MessageId id, WParam w, LParam l) {
    return Send(owner, id, w, l, false);
}

LResult SendMessageBeforeMore(MessageOwner& owner, MessageId id, WParam w, LParam l) {
    return Send(owner, id, w, l, true);
}

bool Invoke(MessageOwner& owner, const std::function<void()>& fn) {
    Mailbox& box = owner.GetMailbox();
    if (box.OnOwnerThread()) {
        fn();
        return true;
    }
    LResult ignored = 0;
    return box.Deliver(0, 0, 0, &fn, ignored);
}

int PumpOwner(MessageOwner& owner) {
    return owner.GetMailbox().Pump(-1);
}

int PumpOwner(MessageOwner& owner, int limit) {
    return limit <= 0 ? 0 : owner.GetMailbox().Pump(limit);
}

void WaitWhilePumping(MessageOwner& owner, const std::function<bool()>& done) {
    owner.GetMailbox().WaitWhilePumping(done, std::nullopt);
}

bool WaitWhilePumping(MessageOwner& owner, const std::function<bool()>& done,
                      std::chrono::milliseconds timeout) {
    return owner.GetMailbox().WaitWhilePumping(done, std::chrono::steady_clock::now() + timeout);
}

void WaitWhileRefusing(MessageOwner& owner, const std::function<bool()>& done) {
    owner.GetMailbox().WaitWhileRefusing(done);
}

void Wake(MessageOwner& owner) {
    owner.GetMailbox().Wake();
}

bool WaitForMessage(MessageOwner& owner, std::chrono::milliseconds timeout, std::size_t count) {
    return owner.GetMailbox().WaitForMessage(timeout, count);
}

std::size_t PendingMessages(MessageOwner& owner) {
    return owner.GetMailbox().Pending();
}

void PumpThreadFor(std::chrono::milliseconds duration) {
    if (QCoreApplication::instance() == nullptr) {
        // No event loop without an application object: nothing can arrive to be run.
        std::this_thread::sleep_for(duration);
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace window
