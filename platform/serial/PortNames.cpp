#include "platform/serial/PortNames.h"

namespace serial_port {

std::optional<unsigned> PortNumberOf(std::string_view name) {
    // "COMn" names ports 1 to 9 only and "\\.\COMn" ports 10 and above, the forms an open
    // writes; a name in the other form is no port.
    constexpr std::string_view kLongPrefix = "\\\\.\\";
    const bool longForm = name.substr(0, kLongPrefix.size()) == kLongPrefix;
    if (longForm)
        name.remove_prefix(kLongPrefix.size());
    if (name.size() < 4 || name.size() > 5 || name.substr(0, 3) != "COM")
        return std::nullopt;
    name.remove_prefix(3);
    if (name[0] == '0')
        return std::nullopt;
    unsigned n = 0;
    for (char c : name) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    if (!IsPortNumber(n) || longForm != (n > 9))
        return std::nullopt;
    return n;
}

std::optional<unsigned> ComNumberOf(std::string_view name) {
    // Put in the form an open writes for its number, then read as such.
    constexpr std::string_view kLongPrefix = "\\\\.\\";
    if (name.substr(0, kLongPrefix.size()) == kLongPrefix)
        name.remove_prefix(kLongPrefix.size());
    if (const auto shortForm = PortNumberOf(name))
        return shortForm;
    return PortNumberOf(std::string(kLongPrefix) + std::string(name));
}

std::string PortName(int n) {
    return "COM" + std::to_string(n);
}

std::string PortLine(const PortInfo& port) {
    std::string line = PortName(static_cast<int>(port.number)) + "  " + port.device;
    if (!port.byId.empty())
        line += "  " + port.byId;
    if (!port.description.empty())
        line += "  " + port.description;
    return line;
}

}  // namespace serial_port
