#include "platform/serial/DeviceMonitor.h"

#include <cerrno>
#include <cstring>

#include "platform/posix/Udev.h"

namespace serial_port {

namespace {

// More than this in one call is taken as a burst; the rest is read at the next wake-up.
constexpr int kMaxEventsPerTake = 256;

using posix::UdevPtr;

class UdevMonitor final : public DeviceEventSource {
  public:
    UdevMonitor(UdevPtr<udev> context, UdevPtr<udev_monitor> monitor)
        : m_context(std::move(context)), m_monitor(std::move(monitor)) {}

    int Descriptor() const override { return udev_monitor_get_fd(m_monitor.get()); }

    std::vector<DeviceEvent> TakeEvents() override {
        std::vector<DeviceEvent> events;
        for (int i = 0; i < kMaxEventsPerTake; ++i) {
            UdevPtr<udev_device> device(udev_monitor_receive_device(m_monitor.get()));
            if (!device)
                break;
            DeviceEvent event;
            const char* action = udev_device_get_action(device.get());
            if (action && std::strcmp(action, "add") == 0)
                event.action = DeviceEvent::Action::kAdded;
            else if (action && std::strcmp(action, "remove") == 0)
                event.action = DeviceEvent::Action::kRemoved;
            if (const char* node = udev_device_get_devnode(device.get()))
                event.node = node;
            events.push_back(std::move(event));
        }
        return events;
    }

  private:
    UdevPtr<udev> m_context;
    UdevPtr<udev_monitor> m_monitor;
};

}  // namespace

std::unique_ptr<DeviceEventSource> OpenUdevMonitor(PortError* error) {
    auto fail = [&](int err) -> std::unique_ptr<DeviceEventSource> {
        if (error)
            *error = PortError::FromErrno(err != 0 ? err : ENODEV);
        return nullptr;
    };
    UdevPtr<udev> context(udev_new());
    if (!context)
        return fail(errno);
    UdevPtr<udev_monitor> monitor(udev_monitor_new_from_netlink(context.get(), "udev"));
    if (!monitor)
        return fail(errno);
    if (udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor.get()) < 0)
        return fail(errno);
    if (error)
        *error = PortError{};
    return std::make_unique<UdevMonitor>(std::move(context), std::move(monitor));
}

}  // namespace serial_port
