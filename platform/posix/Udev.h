#pragma once

// Owning pointers for udev's reference-counted handles.

#include <libudev.h>

#include <memory>

namespace posix {

struct UdevUnref {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
    void operator()(udev_monitor* m) const { udev_monitor_unref(m); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevUnref>;

}  // namespace posix
