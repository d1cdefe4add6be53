#include "tests/support/PtyPeer.h"

#include <poll.h>

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <array>
#include <cerrno>
#include <utility>

#include "platform/posix/WakeupFd.h"

namespace testing_support {

PtyPeer::PtyPeer(Role role)
    : PtyPeer(role == Role::Scale ? std::vector<std::uint8_t>{0x06, 0xAA}
                                  : std::vector<std::uint8_t>{}) {}

PtyPeer::PtyPeer(std::vector<std::uint8_t> probeAnswer)
    : m_probeAnswer(std::move(probeAnswer)),
      m_pty(MakePty()),
      m_devicePath(m_pty.DevicePath()),
      m_stop(posix::MakeWakeupFd()) {
    m_thread = std::thread([this] { Run(); });
}

PtyPeer::~PtyPeer() {
    HangUp();
}

void PtyPeer::Run() {
    for (;;) {
        pollfd fds[2] = {{m_stop.Get(), POLLIN, 0}, {m_pty.Descriptor(), POLLIN, 0}};
        const int r = ::poll(fds, 2, -1);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 || (fds[0].revents & POLLIN))
            return;
        if (fds[1].revents & (POLLERR | POLLNVAL))
            return;
        const std::vector<std::uint8_t> chunk = m_pty.Read(std::chrono::milliseconds(0));
        if (chunk.empty())
            continue;
        {
            std::lock_guard lock(m_mutex);
            m_received.insert(m_received.end(), chunk.begin(), chunk.end());
        }
        m_arrived.notify_all();
        if (!m_probeAnswer.empty() && std::find(chunk.begin(), chunk.end(), 0x05) != chunk.end())
            Send(m_probeAnswer);
    }
}

std::vector<std::uint8_t> PtyPeer::Received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

bool PtyPeer::WaitForBytes(std::size_t count, std::chrono::milliseconds deadline) const {
    // On the UI thread the engine may wait inside a notification before it sends: serve the
    // event loop between short waits for the bytes.
    QCoreApplication* app = QCoreApplication::instance();
    if (app != nullptr && app->thread() == QThread::currentThread()) {
        const auto end = std::chrono::steady_clock::now() + deadline;
        for (;;) {
            QCoreApplication::processEvents();
            std::unique_lock lock(m_mutex);
            if (m_arrived.wait_for(lock, std::chrono::milliseconds(5),
                                   [&] { return m_received.size() >= count; }))
                return true;
            if (std::chrono::steady_clock::now() >= end)
                return false;
        }
    }
    std::unique_lock lock(m_mutex);
    return m_arrived.wait_for(lock, deadline, [&] { return m_received.size() >= count; });
}

void PtyPeer::ClearReceived() {
    std::lock_guard lock(m_mutex);
    m_received.clear();
}

bool PtyPeer::Send(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(m_writeMutex);
    return m_pty.Write(bytes);
}

void PtyPeer::HangUp() {
    if (m_thread.joinable()) {
        posix::SignalWakeupFd(m_stop.Get());
        m_thread.join();
    }
    std::lock_guard lock(m_writeMutex);
    m_pty.HangUp();
}

std::vector<std::uint8_t> ScaleFrame(const std::array<std::uint8_t, 9>& values,
                                     std::uint8_t spare) {
    std::vector<std::uint8_t> frame = {0x06, 0xAA, spare};
    frame.insert(frame.end(), values.begin(), values.end());
    return frame;
}

}  // namespace testing_support
