#include "platform/serial/SerialDevices.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <tuple>

#include "platform/posix/Udev.h"

namespace serial_port {

namespace {

using posix::UdevPtr;

std::string Text(const char* s) {
    return s ? std::string(s) : std::string();
}

std::string FirstOf(std::initializer_list<std::string> values) {
    for (const std::string& v : values) {
        if (!v.empty())
            return v;
    }
    return {};
}

std::string DescribeUsb(udev_device* tty, udev_device* usb) {
    const std::string vendor =
        FirstOf({Text(udev_device_get_property_value(tty, "ID_VENDOR_FROM_DATABASE")),
                 Text(udev_device_get_sysattr_value(usb, "manufacturer")),
                 Text(udev_device_get_property_value(tty, "ID_VENDOR"))});
    const std::string model =
        FirstOf({Text(udev_device_get_property_value(tty, "ID_MODEL_FROM_DATABASE")),
                 Text(udev_device_get_sysattr_value(usb, "product")),
                 Text(udev_device_get_property_value(tty, "ID_MODEL"))});
    const std::string vid = Text(udev_device_get_sysattr_value(usb, "idVendor"));
    const std::string pid = Text(udev_device_get_sysattr_value(usb, "idProduct"));
    std::string text = vendor;
    if (!model.empty())
        text += (text.empty() ? "" : " ") + model;
    if (text.empty())
        text = "USB serial adapter";
    if (!vid.empty() && !pid.empty())
        text += " (" + vid + ":" + pid + ")";
    return text;
}

// Splits "ttyUSB10" into ("ttyUSB", 10) so that numbers compare as numbers.
std::pair<std::string, unsigned long> NaturalKey(const std::string& name) {
    std::size_t digits = name.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1])))
        --digits;
    const std::string number = name.substr(digits);
    unsigned long value = 0;
    for (char c : number.substr(0, 9))
        value = value * 10 + static_cast<unsigned long>(c - '0');
    return {name.substr(0, digits), value};
}

}  // namespace

bool ComesBefore(const SerialDevice& a, const SerialDevice& b) {
    return std::make_tuple(!a.usb, NaturalKey(a.name), a.name) <
           std::make_tuple(!b.usb, NaturalKey(b.name), b.name);
}

std::vector<SerialDevice> FindSerialDevices() {
    std::vector<SerialDevice> found;
    UdevPtr<udev> context(udev_new());
    if (!context)
        return found;
    UdevPtr<udev_enumerate> scan(udev_enumerate_new(context.get()));
    if (!scan || udev_enumerate_add_match_subsystem(scan.get(), "tty") < 0 ||
        udev_enumerate_scan_devices(scan.get()) < 0)
        return found;

    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(scan.get())) {
        UdevPtr<udev_device> tty(
            udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
        if (!tty)
            continue;
        const char* node = udev_device_get_devnode(tty.get());
        // Virtual terminals, the console and pseudo-terminals have no hardware behind them.
        if (node == nullptr || udev_device_get_parent(tty.get()) == nullptr)
            continue;
        SerialDevice d;
        d.node = node;
        d.name = Text(udev_device_get_sysname(tty.get()));
        // Parents belong to `tty`; they are not released separately.
        if (udev_device* usb =
                udev_device_get_parent_with_subsystem_devtype(tty.get(), "usb", "usb_device")) {
            d.usb = true;
            d.description = DescribeUsb(tty.get(), usb);
            d.serial = Text(udev_device_get_property_value(tty.get(), "ID_SERIAL_SHORT"));
            udev_list_entry* link = nullptr;
            udev_list_entry_foreach(link, udev_device_get_devlinks_list_entry(tty.get())) {
                const std::string path = Text(udev_list_entry_get_name(link));
                if (path.rfind("/dev/serial/by-id/", 0) == 0)
                    d.byId = path;
            }
        } else {
            // The serial core reports the UART type; 0 means no UART answers at this address,
            // as for most of the ttyS ports a PC kernel creates.
            const std::string type = Text(udev_device_get_sysattr_value(tty.get(), "type"));
            if (type.empty() || type == "0")
                continue;
            const std::string driver =
                Text(udev_device_get_driver(udev_device_get_parent(tty.get())));
            d.description =
                "on-board serial port" + (driver.empty() ? std::string() : " (" + driver + ")");
        }
        found.push_back(std::move(d));
    }
    std::sort(found.begin(), found.end(), ComesBefore);
    return found;
}

}  // namespace serial_port
