#include "platform/serial/ChosenPort.h"

#include <algorithm>
#include <mutex>

#include "platform/serial/DeviceAccess.h"

namespace serial_port {

namespace {

std::mutex g_chosenLock;
std::optional<PortInfo> g_chosen;

}  // namespace

std::optional<unsigned> ComNumberOf(std::string_view name) {
    // Put in the form an open writes for its number, then read as such.
    constexpr std::string_view kLongPrefix = "\\\\.\\";
    if (name.substr(0, kLongPrefix.size()) == kLongPrefix)
        name.remove_prefix(kLongPrefix.size());
    if (const auto shortForm = PortNumberOf(name))
        return shortForm;
    return PortNumberOf(std::string(kLongPrefix) + std::string(name));
}

unsigned ChoosePort(const std::string& name) {
    ForgetChosenPort();
    if (const auto n = ComNumberOf(name))
        return *n;
    if (name.find('/') == std::string::npos)
        return 0;
    const std::vector<PortInfo> present = ListPorts();
    const std::string wanted = CanonicalPath(name);
    unsigned number = kLastPortNumber;
    for (unsigned n = kLastPortNumber; n >= kFirstPortNumber; --n) {
        const auto it = std::find_if(present.begin(), present.end(),
                                     [n](const PortInfo& p) { return p.number == n; });
        if (it == present.end())
            number = n;
        else if (CanonicalPath(it->device) == wanted)
            return n;
    }
    std::lock_guard<std::mutex> hold(g_chosenLock);
    g_chosen = PortInfo{number, name, "named on the command line", {}, {}};
    return number;
}

std::optional<PortInfo> ChosenDevice() {
    std::lock_guard<std::mutex> hold(g_chosenLock);
    return g_chosen;
}

void ForgetChosenPort() {
    std::lock_guard<std::mutex> hold(g_chosenLock);
    g_chosen.reset();
}

}  // namespace serial_port
