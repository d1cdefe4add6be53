#include "web/EventFeed.h"

namespace web {

void EventFeed::Send(const QByteArray& message, std::uint64_t events) {
    if (m_waiting.empty() && m_missed == 0 && m_socket.unsent() < kMostUnsent) {
        m_socket.write(message);
        return;
    }
    m_waiting.push_back({message, events});
    if (m_waiting.size() > kMostWaiting) {
        m_missed += m_waiting.front().events;
        m_missedInAll += m_waiting.front().events;
        m_waiting.pop_front();
    }
}

void EventFeed::Drained() {
    if (m_socket.unsent() >= kMostUnsent)
        return;
    if (m_missed != 0)
        m_socket.write(m_socket.missed(std::exchange(m_missed, 0)));
    while (!m_waiting.empty() && m_socket.unsent() < kMostUnsent) {
        m_socket.write(m_waiting.front().message);
        m_waiting.pop_front();
    }
}

}  // namespace web
