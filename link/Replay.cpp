#include "link/Replay.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/posix/UniqueFd.h"
#include "scale/families/Family.h"

namespace scale_link {
namespace {

using serial_port::IoResult;

class ReplayWire final : public Wire {
  public:
    ReplayWire(std::shared_ptr<Replay> replay, posix::UniqueFd timer)
        : m_replay(std::move(replay)), m_timer(std::move(timer)) {
        Arm(Replay::Clock::now());
    }

    int WaitDescriptor() const override { return m_timer.Get(); }
    bool Lasting() const override { return true; }
    IoResult ReadAvailable(std::span<std::uint8_t> into) override {
        std::uint64_t expired = 0;
        [[maybe_unused]] const ssize_t n = ::read(m_timer.Get(), &expired, sizeof expired);
        std::optional<Replay::Clock::time_point> wake;
        const std::vector<std::uint8_t> bytes = m_replay->Take(into.size(), &wake);
        std::copy(bytes.begin(), bytes.end(), into.begin());
        Arm(wake);
        return {bytes.size(), {}, false};
    }
    IoResult WriteAvailable(std::span<const std::uint8_t> bytes) override { return Write(bytes); }
    IoResult Write(std::span<const std::uint8_t> bytes) override {
        m_replay->Written(bytes);
        // An answer may be due now.
        Arm(Replay::Clock::now());
        return {bytes.size(), {}, false};
    }
    serial_port::PortError Restart(const scale::LineSettings&) override { return {}; }

  private:
    void Arm(std::optional<Replay::Clock::time_point> wake) {
        itimerspec when{};
        if (wake) {
            // Both are CLOCK_MONOTONIC; a time passed already fires at once, and 0 would disarm.
            const auto ns = std::max<std::int64_t>(
                1, std::chrono::duration_cast<std::chrono::nanoseconds>(wake->time_since_epoch())
                       .count());
            when.it_value.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
            when.it_value.tv_nsec = static_cast<long>(ns % 1'000'000'000);
        }
        ::timerfd_settime(m_timer.Get(), TFD_TIMER_ABSTIME, &when, nullptr);
    }

    std::shared_ptr<Replay> m_replay;
    posix::UniqueFd m_timer;
};

}  // namespace

Replay::Replay(std::vector<TapBurst> bursts, std::optional<double> speed,
               std::function<void()> ended)
    : m_bursts(std::move(bursts)), m_speed(speed), m_ended(std::move(ended)) {}

std::unique_ptr<Wire> Replay::Open(serial_port::PortError* error) {
    posix::UniqueFd timer(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC));
    if (!timer) {
        *error = serial_port::PortError::FromErrno(errno);
        return nullptr;
    }
    {
        const std::lock_guard hold(m_lock);
        if (!std::exchange(m_begun, true))
            m_base = Clock::now();
    }
    return std::make_unique<ReplayWire>(shared_from_this(), std::move(timer));
}

Replay::Clock::time_point Replay::Due(std::chrono::microseconds at) const {
    if (!m_speed)
        return m_base;
    // Never further than a clock's nanoseconds reach, however long the tap and slow the pace.
    const double micro = std::min(static_cast<double>((at - m_baseAt).count()) / *m_speed, 1e15);
    return m_base + std::chrono::duration_cast<Clock::duration>(
                        std::chrono::duration<double, std::micro>(micro));
}

void Replay::PassWrites(Clock::time_point now) {
    while (m_next < m_bursts.size() && !m_bursts[m_next].in) {
        if (m_written == 0) {
            if (!m_waitingSince)
                m_waitingSince = now;
            if (now - *m_waitingSince < kWriteWait)
                return;
        } else
            --m_written;
        // What the scale said after this write comes at its distance from the write made now.
        m_base = now;
        m_baseAt = m_bursts[m_next].at;
        m_waitingSince.reset();
        ++m_next;
    }
}

void Replay::Written(std::span<const std::uint8_t> bytes) {
    const std::lock_guard hold(m_lock);
    // Writes the reader does not make again (another run's queries, heard by nothing) are
    // passed over up to the one it makes.
    for (std::size_t i = m_next; i < m_bursts.size() && !m_bursts[i].in; ++i) {
        if (std::equal(bytes.begin(), bytes.end(), m_bursts[i].bytes.begin(),
                       m_bursts[i].bytes.end())) {
            m_next = i;
            break;
        }
    }
    ++m_written;
    PassWrites(Clock::now());
}

std::vector<std::uint8_t> Replay::Take(std::size_t most, std::optional<Clock::time_point>* wake) {
    std::unique_lock hold(m_lock);
    const Clock::time_point now = Clock::now();
    PassWrites(now);
    wake->reset();
    if (m_next == m_bursts.size()) {
        const bool say = !std::exchange(m_endSaid, true);
        hold.unlock();
        if (say && m_ended)
            m_ended();
        return {};
    }
    const TapBurst& burst = m_bursts[m_next];
    if (!burst.in) {
        *wake = *m_waitingSince + kWriteWait;
        return {};
    }
    if (const Clock::time_point due = Due(burst.at); due > now) {
        *wake = due;
        return {};
    }
    const std::size_t count = std::min(most, burst.bytes.size() - m_taken);
    const auto from = burst.bytes.begin() + static_cast<std::ptrdiff_t>(m_taken);
    std::vector<std::uint8_t> bytes(from, from + static_cast<std::ptrdiff_t>(count));
    if ((m_taken += count) == burst.bytes.size()) {
        m_taken = 0;
        ++m_next;
    }
    *wake = now;
    return bytes;
}

WireOpener TapAndReplay(std::shared_ptr<TapFile> tap, std::shared_ptr<Replay> replay,
                        std::string replayDevice) {
    return
        [tap = std::move(tap), replay = std::move(replay), replayDevice = std::move(replayDevice)](
            const std::string& device, const scale::LineSettings& line,
            serial_port::PortError* error) -> std::unique_ptr<Wire> {
            std::unique_ptr<Wire> wire = replay && device == replayDevice
                                             ? replay->Open(error)
                                             : OpenDeviceWire(device, line, error);
            if (!wire || !tap)
                return wire;
            tap->Note("opened " + device + " at " + scale::families::LineText(line));
            return Tapped(std::move(wire), tap);
        };
}

}  // namespace scale_link
