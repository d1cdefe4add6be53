#include "mqtt/ScaleId.h"

#include "mqtt/MqttOptions.h"

namespace mqtt {
namespace {

constexpr std::size_t kLongestId = 64;

std::string Plain(const std::string& text) {
    std::string id;
    for (const char c : text.substr(0, kLongestId)) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        id += plain ? c : '_';
    }
    return id;
}

}  // namespace

std::string DefaultScaleId(const std::string& byIdName, const std::string& host, int port) {
    return DefaultScaleId(byIdName, host, "COM" + std::to_string(port));
}

std::string DefaultScaleId(const std::string& byIdName, const std::string& host,
                           const std::string& portName) {
    const std::string fromDevice = Plain(byIdName);
    if (IsScaleId(fromDevice))
        return fromDevice;
    const std::string suffix = "-" + Plain(portName.substr(portName.rfind('/') + 1));
    std::string fromHost = Plain(host).substr(0, kLongestId - suffix.size());
    if (fromHost.empty() || fromHost == "." || fromHost == "..")
        fromHost = "scale";
    return fromHost + suffix;
}

}  // namespace mqtt
