#include "platform/modbus/Bus.h"

#include "platform/net/Connect.h"
#include "platform/posix/WakeupFd.h"

namespace modbus {

Bus::Bus(Opener open)
    : m_open(std::move(open)), m_stopWaits(posix::MakeWakeupFd()), m_thread([this] { Run(); }) {}

Bus::~Bus() {
    {
        const std::lock_guard hold(m_lock);
        m_stop = true;
    }
    if (m_stopWaits)
        posix::SignalWakeupFd(m_stopWaits.Get());
    m_queued.notify_all();
    m_thread.join();
}

void Bus::Submit(Work work, Done done) {
    {
        const std::lock_guard hold(m_lock);
        m_queue.emplace_back(std::move(work), std::move(done));
    }
    m_queued.notify_all();
}

posix::Status Bus::Do(const Work& work) {
    if (!m_connection) {
        posix::Result<Connection> opened = m_open();
        if (!opened)
            return opened.Error();
        m_connection.emplace(std::move(opened).Value());
    }
    posix::Status status = work(*m_connection);
    if (!status && !IsException(status.Error()))
        m_connection.reset();
    return status;
}

void Bus::Run() {
    // Nobody waits for a connect to a host gone silent once the bus is ended.
    const net::StopWaitsOn stopped(m_stopWaits ? m_stopWaits.Get() : -1);
    for (;;) {
        std::pair<Work, Done> next;
        {
            std::unique_lock hold(m_lock);
            m_queued.wait(hold, [this] { return m_stop || !m_queue.empty(); });
            if (m_stop)
                return;
            next = std::move(m_queue.front());
            m_queue.pop_front();
        }
        const posix::Status status = Do(next.first);
        next.second(status);
    }
}

}  // namespace modbus
