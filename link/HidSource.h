#pragma once

// A USB HID point-of-sale scale as a Source: `hid` (the first raw HID device whose report
// descriptor has the scale page) or a /dev/hidrawN path. Each report the device sends is read as
// it comes (the node is non-blocking, watched by the event loop); the first after opening may be
// an old one the device kept and is not a reading, and after it each data report that differs
// from the one before is one reading. ZERO is the scale's Zero Scale report where its descriptor
// has one. A node that fails or goes away is a lost port (said); it is looked for again after the
// network's back-off (link/DeviceFollower.h) until it opens, and is back; nothing is read across
// the gap.
//
// Thread: the thread that made it, with a Qt event loop; events are called there too.

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/DeviceFollower.h"
#include "link/HidScale.h"
#include "link/Source.h"
#include "platform/hid/HidrawDevices.h"
#include "platform/posix/UniqueFd.h"

namespace scale_link {

// The raw HID devices that are scales, one line each ("/dev/hidraw0: USB HID scale (name)").
std::vector<std::string> HidScaleLines(const hid::HidrawRoots& roots);

class HidSource : public QObject, public Source {
  public:
    // `port`: "hid" or a device path.
    HidSource(std::string port, hid::HidrawRoots roots, SourceEvents events);
    ~HidSource() override;

    // Opens the scale: reports follow from the event loop. `only` is not looked at.
    posix::Result<int> Find(unsigned only) override;
    posix::Result<int> Open(unsigned only) override { return Find(only); }
    std::vector<std::string> Unopened() const override { return m_unopened; }

    // ZERO; a scale without a Zero Scale report says so when it is sent.
    std::optional<KeyPress> KeyNamed(std::string_view line) const override;
    std::string KeyNames() const override;
    bool SendKey(KeyPress key) override;

    int Port() const override { return 0; }
    std::string Name() const override { return m_port; }
    std::string Named() const override;
    std::string Device() const override { return m_device.node; }
    std::string LastingName() const override { return {}; }

  private:
    // The scale's device and layout, or why there is none.
    posix::Result<hid::HidrawDevice> Locate();
    posix::Status OpenDevice();
    void OnReadable();
    void OnReport(std::span<const std::uint8_t> report);
    void Lose(const std::string& why);
    void Retry();

    std::string m_port;
    hid::HidrawRoots m_roots;
    SourceEvents m_events;
    hid::HidrawDevice m_device;
    HidScaleLayout m_layout;
    posix::UniqueFd m_fd;
    std::unique_ptr<QSocketNotifier> m_notifier;
    RetryPace m_retry{[this] { Retry(); }};
    std::vector<std::string> m_unopened;
    bool m_stale = true;  // the next data report is the one the device kept
    std::vector<std::uint8_t> m_last;
    std::string m_lastRefusal;  // said once
    bool m_lost = false;
};

}  // namespace scale_link
