#pragma once

// One Modbus bus (a TCP connection, or an RTU line with its units) and the one queue its requests
// go through, in the order they came, on a thread of its own: a write never goes out in the middle
// of a read, and nobody waits for the bus but that thread. The connection is made when the first
// request needs it, and made again after one that failed on the line (an exception answered by a
// device leaves it as it is).
//
// Thread: any; the work and what is told of it run on the bus's thread.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "platform/modbus/Connection.h"
#include "platform/posix/Result.h"
#include "platform/posix/UniqueFd.h"

namespace modbus {

class Bus {
  public:
    // Makes the connection, within its own bound.
    using Opener = std::function<posix::Result<Connection>()>;
    // Requests on the connection; a failure on the line ends it.
    using Work = std::function<posix::Status(Connection&)>;
    // How the work went, or why no connection could be made for it.
    using Done = std::function<void(const posix::Status&)>;

    explicit Bus(Opener open);
    // Ends a connect under way at once and waits for a request under way (within its response
    // time); the rest are dropped.
    ~Bus();
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;

    void Submit(Work work, Done done);

  private:
    void Run();
    posix::Status Do(const Work& work);

    Opener m_open;
    std::optional<Connection> m_connection;  // the bus thread's
    std::mutex m_lock;
    std::condition_variable m_queued;
    std::deque<std::pair<Work, Done>> m_queue;
    bool m_stop = false;
    posix::UniqueFd m_stopWaits;  // readable once the bus ends
    std::thread m_thread;
};

}  // namespace modbus
