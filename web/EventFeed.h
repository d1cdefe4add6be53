#pragma once

// What one event-stream client (Server-Sent Events or a WebSocket) has not been sent yet. A
// client that reads slower than events come never slows the reader: while its socket holds more
// than a bound, new events wait in a short queue whose oldest are dropped, and once the socket
// drains the client is told how many it missed before the rest follow. A message may carry
// several events (a batch): what is missed is counted in events.
//
// Thread: the event loop's.

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <utility>

namespace web {

class EventFeed {
  public:
    struct Socket {
        std::function<void(const QByteArray&)> write;
        std::function<std::int64_t()> unsent;  // bytes handed over and not yet sent
        std::function<QByteArray(std::uint64_t missed)> missed;  // the message that says so
    };
    static constexpr std::int64_t kMostUnsent = 64 * 1024;
    static constexpr std::size_t kMostWaiting = 64;

    explicit EventFeed(Socket socket) : m_socket(std::move(socket)) {}

    void Send(const QByteArray& message, std::uint64_t events = 1);
    // The socket sent some of what it held.
    void Drained();
    std::uint64_t MissedInAll() const { return m_missedInAll; }

  private:
    const Socket m_socket;
    struct Waiting {
        QByteArray message;
        std::uint64_t events;
    };
    std::deque<Waiting> m_waiting;
    std::uint64_t m_missed = 0;  // not yet told
    std::uint64_t m_missedInAll = 0;
};

}  // namespace web
