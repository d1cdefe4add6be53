#include "platform/window/Inbox.h"

#include <QObject>
#include <QSocketNotifier>

#include "platform/posix/WakeupFd.h"

namespace window {

Inbox::Inbox() : m_wakeFd(posix::MakeWakeupFd()), m_owner(std::make_unique<QObject>()) {
    if (!m_wakeFd)
        return;  // the event queue carries the wake-ups instead
    m_notifier = std::make_unique<QSocketNotifier>(m_wakeFd.Get(), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { RunPosted(); });
}

Inbox::~Inbox() = default;

void Inbox::Post(std::function<void()> call) {
    bool first = false;
    {
        const std::lock_guard hold(m_lock);
        first = m_calls.empty();
        m_calls.push_back(std::move(call));
    }
    // One signal per burst: the owner takes every call queued by the time it looks.
    if (!first)
        return;
    if (m_wakeFd)
        posix::SignalWakeupFd(m_wakeFd.Get());
    else
        QMetaObject::invokeMethod(
            m_owner.get(), [this] { RunPosted(); }, Qt::QueuedConnection);
}

void Inbox::RunPosted() {
    // Cleared before taking the calls, so a call posted meanwhile signals again.
    if (m_wakeFd)
        posix::ClearWakeupFd(m_wakeFd.Get());
    std::vector<std::function<void()>> calls;
    {
        const std::lock_guard hold(m_lock);
        calls.swap(m_calls);
    }
    for (const std::function<void()>& call : calls)
        call();
}

}  // namespace window
