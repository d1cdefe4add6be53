#include "tools/peers/FamilyPeer.h"

#include <poll.h>
#include <termios.h>

#include <algorithm>
#include <cerrno>

#include "platform/posix/WakeupFd.h"
#include "platform/serial/BaudRates.h"
#include "scale/Protocol.h"
#include "tools/peers/Pty.h"
#include "tools/peers/RandomBytes.h"

namespace testing_support {

namespace {

constexpr auto kTick = std::chrono::milliseconds(10);
constexpr std::size_t kUnread = 1024;

// Random bytes without the described answer's first header byte: the header pair, which noise
// holds now and then, makes a scale of any port, as it would on a real line.
std::string Noise(std::uint32_t seed) {
    std::string bytes = RandomBytes(32, seed);
    std::replace(bytes.begin(), bytes.end(), static_cast<char>(scale::kHeader0),
                 static_cast<char>(scale::kHeader0 + 1));
    return bytes;
}

}  // namespace

FamilyPeer::FamilyPeer(Talk talk)
    : m_talk(std::move(talk)),
      m_pty(MakePty()),
      m_devicePath(m_pty.DevicePath()),
      m_stop(posix::MakeWakeupFd()) {
    m_thread = std::thread([this] { Run(); });
}

FamilyPeer::~FamilyPeer() {
    posix::SignalWakeupFd(m_stop.Get());
    m_thread.join();
}

bool FamilyPeer::AtOwnSpeed() {
    termios settings{};
    if (::tcgetattr(m_pty.Descriptor(), &settings) != 0)
        return false;
    const auto baud =
        serial_port::BaudOfSpeedCode(static_cast<unsigned>(::cfgetospeed(&settings))).value_or(0);
    {
        std::lock_guard lock(m_mutex);
        if (m_speeds.empty() || m_speeds.back() != baud)
            m_speeds.push_back(baud);
    }
    return baud == m_talk.baud;
}

void FamilyPeer::Write(const std::string& bytes) {
    // A port that does not read (closed, or between two settings) never stalls the peer.
    if (m_pty.QueuedAtDevice() > kUnread)
        return;
    m_pty.Write(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

void FamilyPeer::Run() {
    std::size_t next = 0;
    std::uint32_t seed = 1;
    std::string pending;  // received since the last answer
    std::vector<std::pair<std::chrono::steady_clock::time_point, std::string>> due;  // answers
    auto nextLine = std::chrono::steady_clock::now();
    for (;;) {
        pollfd fds[2] = {{m_stop.Get(), POLLIN, 0}, {m_pty.Descriptor(), POLLIN, 0}};
        const int r = ::poll(fds, 2, static_cast<int>(kTick.count()));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 || (fds[0].revents & POLLIN) || (fds[1].revents & (POLLERR | POLLNVAL)))
            return;
        const bool atSpeed = AtOwnSpeed();
        if (fds[1].revents & POLLIN) {
            const std::vector<std::uint8_t> chunk = m_pty.Read(std::chrono::milliseconds(0));
            {
                std::lock_guard lock(m_mutex);
                m_received.append(chunk.begin(), chunk.end());
            }
            m_arrived.notify_all();
            // Byte by byte, as a device reads its commands: two that came in one read are
            // each answered.
            for (const std::uint8_t byte : chunk) {
                pending.push_back(static_cast<char>(byte));
                for (const auto& [query, answer] : m_talk.answers) {
                    if (pending.ends_with(query)) {
                        pending.clear();
                        if (atSpeed)
                            due.emplace_back(std::chrono::steady_clock::now() + m_talk.answerAfter,
                                             answer);
                    }
                }
            }
        }
        while (!due.empty() && due.front().first <= std::chrono::steady_clock::now()) {
            Write(due.front().second);
            due.erase(due.begin());
        }
        if (m_talk.noise)
            Write(Noise(seed++));
        if (!m_talk.stream.empty() && std::chrono::steady_clock::now() >= nextLine) {
            nextLine += m_talk.every;
            if (atSpeed)
                Write(m_talk.stream[next++ % m_talk.stream.size()]);
        }
    }
}

std::string FamilyPeer::Received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

std::vector<unsigned> FamilyPeer::Speeds() const {
    std::lock_guard lock(m_mutex);
    return m_speeds;
}

bool FamilyPeer::WaitForReceived(const std::string& text,
                                 std::chrono::milliseconds deadline) const {
    std::unique_lock lock(m_mutex);
    return m_arrived.wait_for(lock, deadline,
                              [&] { return m_received.find(text) != std::string::npos; });
}

}  // namespace testing_support
