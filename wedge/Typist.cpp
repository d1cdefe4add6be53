#include "wedge/Typist.h"

#include <utility>

namespace wedge {
namespace {

// XQueryKeymap has no event for a released key: it is asked again this often.
constexpr auto kHeldKeyRecheck = std::chrono::milliseconds(20);

}  // namespace

Typist::Typist(std::unique_ptr<KeySink> sink, Say say)
    : m_sink(std::move(sink)), m_say(std::move(say)), m_thread([this] { Run(); }) {}

Typist::~Typist() {
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

bool Typist::Submit(Strokes strokes) {
    {
        const std::lock_guard lock(m_mutex);
        if (m_waiting.size() >= kMaxWaiting)
            return false;
        m_waiting.push_back(std::move(strokes));
    }
    m_changed.notify_all();
    return true;
}

void Typist::DropPending() {
    {
        const std::lock_guard lock(m_mutex);
        m_waiting.clear();
        ++m_generation;
    }
    m_changed.notify_all();
}

bool Typist::WaitIdle(std::chrono::milliseconds deadline) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, deadline, [this] { return m_waiting.empty() && !m_busy; });
}

std::uint64_t Typist::Typed() const {
    const std::lock_guard lock(m_mutex);
    return m_typed;
}

bool Typist::AwaitFreeKeyboard(std::uint64_t generation) {
    bool told = false;
    while (m_sink->UserHoldsKey()) {
        if (!std::exchange(told, true))
            m_say("waiting to type: a key is held down");
        std::unique_lock lock(m_mutex);
        if (m_changed.wait_for(lock, kHeldKeyRecheck,
                               [&] { return m_stop || m_generation != generation; }))
            return false;
    }
    return true;
}

bool Typist::FocusMoved(bool first, std::optional<unsigned long>* focus) {
    const std::optional<unsigned long> now = m_sink->Focus();
    if (first)
        *focus = now;
    return now != *focus;
}

void Typist::Run() {
    std::unique_lock lock(m_mutex);
    while (true) {
        m_changed.wait(lock, [this] { return m_stop || !m_waiting.empty(); });
        if (m_stop)
            return;
        const Strokes strokes = std::move(m_waiting.front());
        m_waiting.pop_front();
        m_busy = true;
        const std::uint64_t generation = m_generation;
        lock.unlock();

        bool whole = true;
        if (const std::string why = m_sink->CannotType(strokes); !why.empty()) {
            m_say("not typed: " + why);
            whole = false;
        }
        std::optional<unsigned long> focus;
        for (std::size_t i = 0; whole && i < strokes.size(); ++i) {
            std::string error;
            if (!AwaitFreeKeyboard(generation)) {
                whole = false;
            } else if (FocusMoved(i == 0, &focus)) {
                m_say("not typed: the focus moved");
                whole = false;
            } else if (!m_sink->Type(strokes[i], &error)) {
                m_say("cannot type: " + error);
                whole = false;
            }
        }

        lock.lock();
        m_busy = false;
        m_typed += whole ? 1 : 0;
        m_changed.notify_all();
    }
}

}  // namespace wedge
