#include "wedge/UinputSink.h"

#include <fcntl.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <linux/input-event-codes.h>

#include <cerrno>
#include <thread>

#include "platform/posix/SystemError.h"
#include "platform/posix/UniqueFd.h"

namespace wedge {
namespace {

// A new input device is taken up by the desktop or the console only after a moment; keys sent
// before it is would be lost.
constexpr auto kDeviceSettle = std::chrono::milliseconds(500);

constexpr unsigned kKeypadFigures[10] = {KEY_KP0, KEY_KP1, KEY_KP2, KEY_KP3, KEY_KP4,
                                         KEY_KP5, KEY_KP6, KEY_KP7, KEY_KP8, KEY_KP9};

std::optional<unsigned> KeyOf(const Stroke& stroke) {
    if (stroke.kind == Stroke::Kind::kTab)
        return KEY_TAB;
    if (stroke.kind == Stroke::Kind::kEnter)
        return KEY_ENTER;
    if (stroke.ch >= U'0' && stroke.ch <= U'9')
        return kKeypadFigures[stroke.ch - U'0'];
    switch (stroke.ch) {
        case U'.':
            return KEY_KPDOT;
        case U',':
            return KEY_KPCOMMA;
        case U'-':
            return KEY_KPMINUS;
        case U'+':
            return KEY_KPPLUS;
        case U' ':
            return KEY_SPACE;
        default:
            return std::nullopt;
    }
}

struct EvdevFree {
    void operator()(libevdev* device) const { libevdev_free(device); }
};
struct UinputFree {
    void operator()(libevdev_uinput* device) const { libevdev_uinput_destroy(device); }
};

}  // namespace

struct UinputSink::Device {
    posix::UniqueFd fd;
    std::unique_ptr<libevdev, EvdevFree> description;
    std::unique_ptr<libevdev_uinput, UinputFree> device;
};

std::optional<std::vector<unsigned>> UinputKeys(const Strokes& strokes, std::string* error) {
    std::vector<unsigned> keys;
    for (const Stroke& stroke : strokes) {
        const auto key = KeyOf(stroke);
        if (!key) {
            *error =
                "the virtual keyboard types figures, '-', '+', '.', ',', space, Tab and "
                "Enter only, not '" +
                AsText({stroke}) + "': use --type-via x11 or portal for such a format";
            return std::nullopt;
        }
        keys.push_back(*key);
    }
    return keys;
}

std::string UinputOpenError(const std::string& path, int errnoValue) {
    if (errnoValue == EACCES || errnoValue == EPERM)
        return "no write access to " + path + ": an administrator adds you to the group '" +
               std::string(kUinputGroup) + "' (sudo adduser $USER " + std::string(kUinputGroup) +
               "), then you log in again";
    if (errnoValue == ENOENT || errnoValue == ENODEV)
        return path + " does not exist: the uinput module is not loaded (sudo modprobe uinput)";
    return "cannot open " + path + ": " + posix::ErrnoText(errnoValue);
}

std::unique_ptr<UinputSink> UinputSink::Open(const std::string& path, std::string* error) {
    auto device = std::make_unique<Device>();
    device->fd = posix::UniqueFd(::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK));
    if (!device->fd) {
        *error = UinputOpenError(path, errno);
        return nullptr;
    }
    device->description.reset(libevdev_new());
    libevdev_set_name(device->description.get(), "Karvel typing keyboard");
    libevdev_enable_event_type(device->description.get(), EV_KEY);
    for (const unsigned key : kKeypadFigures)
        libevdev_enable_event_code(device->description.get(), EV_KEY, key, nullptr);
    for (const unsigned key :
         {KEY_KPDOT, KEY_KPCOMMA, KEY_KPMINUS, KEY_KPPLUS, KEY_SPACE, KEY_TAB, KEY_ENTER})
        libevdev_enable_event_code(device->description.get(), EV_KEY, key, nullptr);
    libevdev_uinput* made = nullptr;
    const int result =
        libevdev_uinput_create_from_device(device->description.get(), device->fd.Get(), &made);
    if (result != 0) {
        *error = "cannot make a virtual keyboard on " + path + ": " + posix::ErrnoText(-result);
        return nullptr;
    }
    device->device.reset(made);
    std::this_thread::sleep_for(kDeviceSettle);
    return std::unique_ptr<UinputSink>(new UinputSink(std::move(device)));
}

UinputSink::UinputSink(std::unique_ptr<Device> device) : m_device(std::move(device)) {}

UinputSink::~UinputSink() = default;

std::string UinputSink::CannotType(const Strokes& strokes) const {
    std::string error;
    UinputKeys(strokes, &error);
    return error;
}

bool UinputSink::Type(const Stroke& stroke, std::string* error) {
    const auto key = KeyOf(stroke);
    if (!key) {
        *error = CannotType({stroke});
        return false;
    }
    libevdev_uinput* device = m_device->device.get();
    for (const int value : {1, 0}) {
        const int result = libevdev_uinput_write_event(device, EV_KEY, *key, value);
        if (result != 0 || libevdev_uinput_write_event(device, EV_SYN, SYN_REPORT, 0) != 0) {
            *error = "the virtual keyboard refused a key: " + posix::ErrnoText(-result);
            return false;
        }
        std::this_thread::sleep_for(value == 1 ? kKeyHeld : kKeyGap);
    }
    return true;
}

}  // namespace wedge
