#include "link/HidSource.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <utility>

#include "link/DeviceFollower.h"

namespace scale_link {
namespace {

using Key = scale::families::Key;

// The kernel's largest report; one read never holds more than one on a hidraw node.
constexpr std::size_t kLongestReport = 4096;
constexpr std::string_view kAccess =
    "a udev rule gives the user the node: SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"(the "
    "scale's vendor id)\", TAG+=\"uaccess\"";

bool IsScale(const hid::HidrawDevice& device) {
    const auto parsed = hid::ParseDescriptor(device.descriptor);
    return parsed && parsed->HasPage(kScalePage);
}

std::string Described(const hid::HidrawDevice& device) {
    return device.node + ": USB HID scale" +
           (device.product.empty() ? "" : " (" + device.product + ")");
}

}  // namespace

std::vector<std::string> HidScaleLines(const hid::HidrawRoots& roots) {
    std::vector<std::string> lines;
    for (const hid::HidrawDevice& device : hid::ListHidraw(roots))
        if (IsScale(device))
            lines.push_back(Described(device));
    return lines;
}

HidSource::HidSource(std::string port, hid::HidrawRoots roots, SourceEvents events)
    : m_port(std::move(port)), m_roots(std::move(roots)), m_events(std::move(events)) {}

HidSource::~HidSource() = default;

std::string HidSource::Named() const {
    return m_device.node.empty() || m_device.node == m_port ? m_port
                                                            : m_port + " (" + m_device.node + ")";
}

posix::Result<hid::HidrawDevice> HidSource::Locate() {
    if (m_port != "hid") {
        // A node named by its path is read even when sysfs does not show it as a scale.
        auto device = hid::HidrawAt(m_roots, m_port);
        if (device)
            return device;
        return hid::HidrawDevice{m_port.substr(m_port.rfind('/') + 1), m_port, {}, {}};
    }
    m_unopened.clear();
    for (hid::HidrawDevice& device : hid::ListHidraw(m_roots)) {
        if (IsScale(device))
            return std::move(device);
        m_unopened.push_back(device.node + ": no scale page (0x8D) in its report descriptor");
    }
    return posix::SystemError::Because(
        "hid: no USB HID scale found",
        "none of " + m_roots.sys + "/class/hidraw has usage page 0x8D; is it plugged in?");
}

posix::Status HidSource::OpenDevice() {
    auto device = Locate();
    if (!device)
        return device.Error();
    int fd = ::open(device->node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0 && (errno == EACCES || errno == EPERM))  // read only: the scale still reads
        fd = ::open(device->node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int code = errno;
        return posix::SystemError::Because(device->node + ": " + posix::ErrnoText(code),
                                           code == EACCES ? std::string(kAccess) : "");
    }
    m_fd = posix::UniqueFd(fd);
    m_device = std::move(device).Value();
    m_layout = ChooseScaleLayout(m_device.descriptor);
    m_stale = true;
    m_last.clear();
    m_notifier = std::make_unique<QSocketNotifier>(m_fd.Get(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { OnReadable(); });
    return posix::Success();
}

posix::Result<int> HidSource::Find(unsigned) {
    if (posix::Status opened = OpenDevice(); !opened)
        return opened.Error();
    m_events.say(Described(m_device) + ", read by " + m_layout.name +
                 (m_layout.zero ? "" : "; no zero on this scale"));
    m_retry.Back();
    return 1;
}

void HidSource::OnReadable() {
    std::array<std::uint8_t, kLongestReport> buffer;
    for (;;) {
        const ssize_t n = ::read(m_fd.Get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        if (n <= 0) {
            Lose(n == 0 ? "the node closed" : posix::SystemError::FromErrno(errno).text);
            return;
        }
        // A node that is no hidraw may join reports; each data report is as long as its layout.
        std::span<const std::uint8_t> rest(buffer.data(), static_cast<std::size_t>(n));
        while (!rest.empty()) {
            const std::size_t length =
                IsDataReport(m_layout, rest) ? m_layout.reportBytes : rest.size();
            OnReport(rest.first(length));
            rest = rest.subspan(length);
        }
    }
}

void HidSource::OnReport(std::span<const std::uint8_t> report) {
    if (!IsDataReport(m_layout, report))
        return;  // a report of another kind: nothing a reading needs
    if (std::exchange(m_stale, false))
        return;
    if (std::equal(report.begin(), report.end(), m_last.begin(), m_last.end()))
        return;
    m_last.assign(report.begin(), report.end());
    auto reading = ReadScaleReport(m_layout, report);
    if (!reading) {
        if (reading.Error().text != std::exchange(m_lastRefusal, reading.Error().text))
            m_events.say(Named() + ": " + reading.Error().text);
        return;
    }
    m_lastRefusal.clear();
    scale::Frame told = scale::StampFrame({});
    told.familyReading = std::move(reading).Value();
    told.protocol = "hid";
    told.familyBytes = m_last;
    if (m_events.reading)
        m_events.reading(told);
}

void HidSource::Lose(const std::string& why) {
    m_lost = true;
    m_notifier.reset();
    m_fd.Reset();
    m_events.say(Named() + ": the device went away (" + why + "); waiting for it to come back");
    m_events.portState({scale::PortState::Change::kLost, 0, Device(), Name()});
    m_retry.Lost();
}

void HidSource::Retry() {
    if (!m_lost)
        return;
    if (!OpenDevice()) {
        m_retry.Failed();
        return;
    }
    m_lost = false;
    m_retry.Back();
    m_events.portState({scale::PortState::Change::kOpened, 0, Device(), Name()});
    m_events.say(Named() + ": back; reading again");
}

std::optional<KeyPress> HidSource::KeyNamed(std::string_view line) const {
    const auto key = scale::families::KeyOfLine(line);
    // Taken without a Zero Scale too, so that the user is told the scale has none.
    if (key != Key::kZero)
        return std::nullopt;
    return KeyPress{*key, false};
}

std::string HidSource::KeyNames() const {
    return "ZERO";
}

bool HidSource::SendKey(KeyPress press) {
    const auto report = press.key == Key::kZero ? ZeroReport(m_layout) : std::nullopt;
    if (!report) {
        m_events.say("no zero on this scale: nothing sent");
        return false;
    }
    if (m_lost || !m_fd)
        return false;
    std::vector<std::uint8_t> bytes = *report;
    const bool feature = m_layout.zero->kind == hid::ReportKind::kFeature;
    const ssize_t n = feature ? ::ioctl(m_fd.Get(), HIDIOCSFEATURE(bytes.size()), bytes.data())
                              : ::write(m_fd.Get(), bytes.data(), bytes.size());
    if (n < 0) {
        m_events.say("ZERO: the report was not written (" +
                     posix::SystemError::FromErrno(errno).Describe() + ")");
        return false;
    }
    return true;
}

}  // namespace scale_link
