#include "platform/serial/DriverLineEvents.h"

#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <mutex>

#include "platform/serial/PortTypes.h"

namespace serial_port {

namespace {

// Interrupts the helper's wait in the driver; the handler itself does nothing.
int WakeSignal() {
    static const int signal = [] {
        const int s = SIGRTMIN + 4;
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;  // no restart: the wait returns with EINTR
        ::sigaction(s, &action, nullptr);
        return s;
    }();
    return signal;
}

bool ReadCounters(int fd, LineCounters& counters) {
    serial_icounter_struct raw{};
    if (::ioctl(fd, TIOCGICOUNT, &raw) != 0)
        return false;
    auto u = [](int v) { return static_cast<std::uint64_t>(static_cast<unsigned>(v)); };
    counters.cts = u(raw.cts);
    counters.dsr = u(raw.dsr);
    counters.ring = u(raw.rng);
    counters.carrier = u(raw.dcd);
    counters.breaks = u(raw.brk);
    counters.frameErrors = u(raw.frame);
    counters.overruns = u(raw.overrun);
    counters.parityErrors = u(raw.parity);
    counters.bufferOverruns = u(raw.buf_overrun);
    return true;
}

int ModemLinesOf(std::uint32_t mask) {
    int lines = 0;
    if (mask & kEventCts)
        lines |= TIOCM_CTS;
    if (mask & kEventDsr)
        lines |= TIOCM_DSR;
    if (mask & kEventRlsd)
        lines |= TIOCM_CD;
    if (mask & kEventRing)
        lines |= TIOCM_RNG;
    return lines;
}

}  // namespace

DriverLineEvents::DriverLineEvents(int fd, std::uint32_t mask) : m_fd(fd) {
    m_hasCounters = ReadCounters(fd, m_counters);
    int state = 0;
    const int lines = ModemLinesOf(mask);
    if (!m_hasCounters || lines == 0 || ::ioctl(fd, TIOCMGET, &state) != 0)
        return;
    m_changed = Event::Create();
    m_helperEnded = Event::Create();
    if (!m_changed || !m_helperEnded) {
        m_changed.reset();
        return;
    }
    WakeSignal();
    try {
        m_helper = std::thread(&DriverLineEvents::WatchModemLines, this, lines);
    } catch (const std::system_error&) {
        // Without the helper, modem-line changes are still counted and come with the next wake.
        m_changed.reset();
    }
}

DriverLineEvents::~DriverLineEvents() {
    if (!m_helper.joinable())
        return;
    m_stop = true;
    // The signal may come just before the helper enters the driver's wait: repeat it until the
    // helper has ended.
    const int fd = m_helperEnded->WaitDescriptor();
    for (;;) {
        ::pthread_kill(m_helper.native_handle(), WakeSignal());
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10) > 0)
            break;
    }
    m_helper.join();
}

void DriverLineEvents::WatchModemLines(int lines) {
    while (!m_stop.load()) {
        if (::ioctl(m_fd, TIOCMIWAIT, lines) == 0) {
            m_changed->Set();
            continue;
        }
        if (errno != EINTR)
            break;  // the device cannot tell, or went away
    }
    m_helperEnded->Set();
}

std::uint32_t DriverLineEvents::TakeEvents(std::uint32_t mask) {
    if (!m_hasCounters)
        return 0;
    // Reset before reading, so a change that comes meanwhile signals again.
    if (m_changed)
        m_changed->Reset();
    LineCounters now;
    if (!ReadCounters(m_fd, now))
        return 0;
    const std::uint32_t events = EventsBetween(m_counters, now, mask);
    m_counters = now;
    return events;
}

}  // namespace serial_port
