#include "platform/serial/SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <utility>

#include "platform/posix/Accounts.h"
#include "platform/serial/BaudRates.h"

namespace serial_port {

namespace {

using Clock = std::chrono::steady_clock;

// Devices without modem-control lines (pseudo-terminals) answer the modem ioctls with ENOTTY,
// older kernels with EINVAL.
bool MeansNoModemLines(int err) {
    return err == ENOTTY || err == EINVAL;
}

std::string GroupDetail(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    if (const auto group = posix::LookUpGroup(st.st_gid))
        return "the device belongs to group '" + group->name + "'";
    return "the device belongs to group id " + std::to_string(st.st_gid);
}

PortError OpenFailure(int err, const std::string& path) {
    PortError e = PortError::FromErrno(err);
    switch (e.kind) {
        case ErrorKind::kPermissionDenied:
            e.detail = GroupDetail(path);
            break;
        case ErrorKind::kBusy:
            e.detail = "another program holds " + path;
            break;
        case ErrorKind::kNotFound:
            e.detail = "no device at " + path;
            break;
        case ErrorKind::kNotSerial:
            e.detail = path + " is not a serial port";
            break;
        default:
            break;
    }
    return e;
}

// Milliseconds that remain until `deadline`, at least 0; -1 (no limit) without a deadline.
int MillisecondsLeft(const std::optional<Clock::time_point>& deadline) {
    if (!deadline)
        return -1;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(std::min<long long>(left, 1 << 30)) : 0;
}

// Waits for `events` on `fd`; 0 ready, ETIMEDOUT, EIO on a hang-up, or errno.
int WaitFor(int fd, short events, int timeoutMs) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, timeoutMs);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return ETIMEDOUT;
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
            return EIO;
        return 0;
    }
}

tcflag_t SizeFlag(int dataBits) {
    switch (dataBits) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

constexpr tcflag_t kFramingFlags = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;

}  // namespace

struct SerialPort::SavedSettings {
    termios tio{};
};

std::optional<SerialPort> SerialPort::Open(const std::string& devicePath, PortError* error) {
    auto fail = [&](int err) {
        if (error)
            *error = OpenFailure(err, devicePath);
        return std::nullopt;
    };
    const int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(errno);
    SerialPort port(fd, devicePath);
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return fail(errno);
    // The lock stops root and a second port object of this process too; it comes first so
    // that a refused opener never touches the exclusive flag of the holder.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return fail(errno);
    // Keeps out other programs that do not lock (root passes it).
    if (::ioctl(fd, TIOCEXCL) != 0)
        return fail(errno);
    port.m_exclusive = true;
    // Saved only once the device is ours: a refused opener must not write a holder's settings.
    port.m_saved = std::make_unique<SavedSettings>(SavedSettings{tio});
    if (error)
        *error = PortError{};
    return port;
}

SerialPort::SerialPort(int fd, std::string devicePath)
    : m_fd(fd), m_devicePath(std::move(devicePath)) {}

SerialPort::SerialPort(SerialPort&& other) noexcept
    : m_fd(std::move(other.m_fd)),
      m_saved(std::move(other.m_saved)),
      m_devicePath(std::move(other.m_devicePath)),
      m_exclusive(std::exchange(other.m_exclusive, false)),
      m_timeouts(other.m_timeouts),
      m_eventMask(other.m_eventMask),
      m_baud(other.m_baud) {}

SerialPort& SerialPort::operator=(SerialPort&& other) noexcept {
    if (this != &other) {
        Release();
        m_fd = std::move(other.m_fd);
        m_saved = std::move(other.m_saved);
        m_devicePath = std::move(other.m_devicePath);
        m_exclusive = std::exchange(other.m_exclusive, false);
        m_timeouts = other.m_timeouts;
        m_eventMask = other.m_eventMask;
        m_baud = other.m_baud;
    }
    return *this;
}

SerialPort::~SerialPort() {
    Release();
}

void SerialPort::Release() {
    if (!m_fd)
        return;
    // Other programs (and a terminal named as a port) find the line as they left it. A device
    // that went away refuses; nothing is left to restore then.
    if (m_saved)
        ::tcsetattr(m_fd.Get(), TCSANOW, &m_saved->tio);
    m_saved.reset();
    // A pseudo-terminal keeps the exclusive flag after the last close; clear it so that the
    // next opener is not turned away.
    if (m_exclusive)
        ::ioctl(m_fd.Get(), TIOCNXCL);
    m_exclusive = false;
    m_fd.Reset();  // also drops the lock
}

PortError SerialPort::SetTimeouts(const Timeouts& timeouts) {
    // Nothing to tell the driver, but a dead descriptor must not look configured.
    if (::fcntl(m_fd.Get(), F_GETFL) < 0)
        return PortError::FromErrno(errno);
    m_timeouts = timeouts;
    return {};
}

PortError SerialPort::SetEventMask(std::uint32_t mask) {
    if ((mask & ~kKnownEvents) != 0)
        return PortError::FromErrno(EINVAL);
    if (::fcntl(m_fd.Get(), F_GETFL) < 0)
        return PortError::FromErrno(errno);
    m_eventMask = mask;
    return {};
}

PortError SerialPort::ReadLineState(LineState& state) const {
    termios tio{};
    if (::tcgetattr(m_fd.Get(), &tio) != 0)
        return PortError::FromErrno(errno);
    LineState s;
    s.baud = BaudOfSpeedCode(static_cast<unsigned>(::cfgetospeed(&tio))).value_or(0);
    switch (tio.c_cflag & CSIZE) {
        case CS5:
            s.dataBits = 5;
            break;
        case CS6:
            s.dataBits = 6;
            break;
        case CS7:
            s.dataBits = 7;
            break;
        default:
            s.dataBits = 8;
            break;
    }
    if ((tio.c_cflag & PARENB) == 0)
        s.parity = Parity::kNone;
    else if (tio.c_cflag & CMSPAR)
        s.parity = (tio.c_cflag & PARODD) ? Parity::kMark : Parity::kSpace;
    else
        s.parity = (tio.c_cflag & PARODD) ? Parity::kOdd : Parity::kEven;
    if ((tio.c_cflag & CSTOPB) == 0)
        s.stopBits = StopBits::kOne;
    else
        s.stopBits = s.dataBits == 5 ? StopBits::kOneAndHalf : StopBits::kTwo;

    int lines = 0;
    if (::ioctl(m_fd.Get(), TIOCMGET, &lines) == 0) {
        s.hasModemLines = true;
        s.rtsControl = (lines & TIOCM_RTS) ? RtsControl::kEnable : RtsControl::kDisable;
    } else if (MeansNoModemLines(errno)) {
        s.hasModemLines = false;
        s.rtsControl = RtsControl::kDisable;
    } else {
        return PortError::FromErrno(errno);
    }
    state = s;
    return {};
}

PortError SerialPort::ApplyLineState(const LineState& state) {
    const auto speed = SpeedCodeOf(state.baud);
    if (!speed || state.dataBits < 5 || state.dataBits > 8)
        return PortError::FromErrno(EINVAL);
    termios tio{};
    if (::tcgetattr(m_fd.Get(), &tio) != 0)
        return PortError::FromErrno(errno);
    ::cfmakeraw(&tio);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    tio.c_cflag &= ~static_cast<tcflag_t>(kFramingFlags | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | SizeFlag(state.dataBits);
    switch (state.parity) {
        case Parity::kNone:
            break;
        case Parity::kEven:
            tio.c_cflag |= PARENB;
            break;
        case Parity::kOdd:
            tio.c_cflag |= PARENB | PARODD;
            break;
        case Parity::kMark:
            tio.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case Parity::kSpace:
            tio.c_cflag |= PARENB | CMSPAR;
            break;
    }
    if (state.stopBits != StopBits::kOne)
        tio.c_cflag |= CSTOPB;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, static_cast<speed_t>(*speed)) != 0 ||
        ::cfsetospeed(&tio, static_cast<speed_t>(*speed)) != 0)
        return PortError::FromErrno(errno);
    if (::tcsetattr(m_fd.Get(), TCSANOW, &tio) != 0)
        return PortError::FromErrno(errno);

    // tcsetattr succeeds when any part of the change was taken; check all of it.
    termios now{};
    if (::tcgetattr(m_fd.Get(), &now) != 0)
        return PortError::FromErrno(errno);
    if ((now.c_cflag & kFramingFlags) != (tio.c_cflag & kFramingFlags) ||
        ::cfgetospeed(&now) != ::cfgetospeed(&tio))
        return PortError::FromErrno(EINVAL);
    m_baud = state.baud;

    const int rts = TIOCM_RTS;
    const unsigned long request = state.rtsControl == RtsControl::kEnable ? TIOCMBIS : TIOCMBIC;
    if (::ioctl(m_fd.Get(), request, &rts) != 0 && !MeansNoModemLines(errno))
        return PortError::FromErrno(errno);
    return {};
}

PortError SerialPort::Purge() {
    if (::tcflush(m_fd.Get(), TCIFLUSH) != 0)
        return PortError::FromErrno(errno);
    // A write reported complete has left the port, so output the driver still counts belongs
    // to a write that failed. Where the driver counts nothing (a pseudo-terminal), an output
    // flush would discard completed bytes that the peer has not read yet.
    int pending = 0;
    if (::ioctl(m_fd.Get(), TIOCOUTQ, &pending) == 0 && pending > 0 &&
        ::tcflush(m_fd.Get(), TCOFLUSH) != 0)
        return PortError::FromErrno(errno);
    return {};
}

PortError SerialPort::QueuedInput(std::size_t& count) const {
    int queued = 0;
    if (::ioctl(m_fd.Get(), FIONREAD, &queued) != 0)
        return PortError::FromErrno(errno);
    count = queued > 0 ? static_cast<std::size_t>(queued) : 0;
    return {};
}

IoResult SerialPort::ReadByte(std::uint8_t& byte) {
    IoResult result;
    const std::uint64_t bound =
        std::uint64_t{m_timeouts.readTotalMultiplier} + m_timeouts.readTotalConstant;
    bool waited = false;
    for (;;) {
        const ssize_t n = ::read(m_fd.Get(), &byte, 1);
        if (n >= 0) {
            // 0 only on a hung-up line, since the port runs with VMIN 1.
            result.bytes = static_cast<std::size_t>(n);
            return result;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN) {
            result.error = PortError::FromErrno(errno);
            result.failedWhileWaiting = waited;
            return result;
        }
        if (waited || bound == 0)
            return result;  // nothing came in time
        const int err =
            WaitFor(m_fd.Get(), POLLIN, static_cast<int>(std::min<std::uint64_t>(bound, 1u << 30)));
        if (err == ETIMEDOUT)
            return result;
        if (err != 0) {
            result.error = PortError::FromErrno(err);
            result.failedWhileWaiting = true;
            return result;
        }
        waited = true;
    }
}

IoResult SerialPort::ReadAvailable(std::span<std::uint8_t> into) {
    IoResult result;
    ssize_t n = 0;
    do {
        n = ::read(m_fd.Get(), into.data(), into.size());
    } while (n < 0 && errno == EINTR);
    if (n > 0)
        result.bytes = static_cast<std::size_t>(n);
    else if (n == 0 && !into.empty())
        result.error = PortError::FromErrno(EIO);  // VMIN 1: no data is never an end of file
    else if (n < 0 && errno != EAGAIN)
        result.error = PortError::FromErrno(errno);
    return result;
}

IoResult SerialPort::WriteAvailable(std::span<const std::uint8_t> bytes) {
    IoResult result;
    ssize_t n = 0;
    do {
        n = ::write(m_fd.Get(), bytes.data(), bytes.size());
    } while (n < 0 && errno == EINTR);
    if (n > 0)
        result.bytes = static_cast<std::size_t>(n);
    else if (n < 0 && errno != EAGAIN)
        result.error = PortError::FromErrno(errno);
    return result;
}

IoResult SerialPort::Write(std::span<const std::uint8_t> bytes) {
    IoResult result;
    std::optional<Clock::time_point> deadline;
    const std::uint64_t bound = std::uint64_t{m_timeouts.writeTotalMultiplier} * bytes.size() +
                                m_timeouts.writeTotalConstant;
    if (bound != 0)
        deadline = Clock::now() + std::chrono::milliseconds(bound);
    auto fail = [&](int err, bool whileWaiting) {
        result.error = PortError::FromErrno(err);
        result.failedWhileWaiting = whileWaiting;
        return result;
    };

    bool started = false;
    while (result.bytes < bytes.size()) {
        const ssize_t n =
            ::write(m_fd.Get(), bytes.data() + result.bytes, bytes.size() - result.bytes);
        if (n > 0) {
            result.bytes += static_cast<std::size_t>(n);
            started = true;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return fail(errno, started);
        started = true;
        const int err = WaitFor(m_fd.Get(), POLLOUT, MillisecondsLeft(deadline));
        if (err != 0)
            return fail(err, true);
    }

    // The bytes are complete when they have left the port, not when the driver took them.
    for (;;) {
        int pending = 0;
        if (::ioctl(m_fd.Get(), TIOCOUTQ, &pending) != 0) {
            if (MeansNoModemLines(errno))
                return result;  // nothing to measure: the driver sends at once
            return fail(errno, true);
        }
        if (pending <= 0)
            return result;
        const int left = MillisecondsLeft(deadline);
        if (left == 0)
            return fail(ETIMEDOUT, true);
        // Sleep about as long as the queued bytes take on the line (10 bits each), then look
        // again; a device that stalls runs into the time-out.
        const long long lineMs =
            static_cast<long long>(pending) * 10'000 / std::max(m_baud, 1u) + 1;
        const int pause = left < 0 ? static_cast<int>(std::min<long long>(lineMs, 1000))
                                   : static_cast<int>(std::min<long long>(lineMs, left));
        ::poll(nullptr, 0, pause);
    }
}

}  // namespace serial_port
