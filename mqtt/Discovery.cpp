#include "mqtt/Discovery.h"

#include <array>
#include <cstdint>
#include <cstdio>

#include "record/Escape.h"

namespace mqtt {
namespace {

bool NodeChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
}

// FNV-1a: short, stable across builds and machines, which a record's topic must be.
std::uint32_t Hash(std::string_view text) {
    std::uint32_t hash = 2166136261u;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return hash;
}

// The units Home Assistant's weight device class accepts.
bool WeightUnit(std::string_view unit) {
    constexpr std::array<std::string_view, 5> kWeight = {"kg", "lb", "oz", "st", "g"};
    for (const std::string_view known : kWeight) {
        if (unit == known)
            return true;
    }
    return false;
}

}  // namespace

std::string DiscoveryNodeId(std::string_view scaleId) {
    std::string node = "karvel_";
    bool mapped = false;
    for (const char c : scaleId) {
        mapped = mapped || !NodeChar(c);
        node += NodeChar(c) ? c : '_';
    }
    if (!mapped)
        return node;
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(Hash(scaleId)));
    return node + "_" + hex;
}

std::string DiscoveryTopic(std::string_view scaleId) {
    return "homeassistant/sensor/" + DiscoveryNodeId(scaleId) + "/weight/config";
}

std::string DiscoveryRecord(std::string_view scaleId, std::string_view stateTopic,
                            std::string_view availabilityTopic, std::string_view unit) {
    const std::string node = DiscoveryNodeId(scaleId);
    const std::string state = record::JsonString(stateTopic);
    // A unit the weight class does not know (viss) is shown, but not as a weight.
    const std::string kind = WeightUnit(unit)
                                 ? ",\"device_class\":\"weight\",\"state_class\":\"measurement\""
                                 : ",\"state_class\":\"measurement\"";
    return "{\"name\":\"Weight\",\"unique_id\":" + record::JsonString(node + "_weight") +
           ",\"state_topic\":" + state +
           ",\"value_template\":\"{{ value_json.value }}\""
           ",\"unit_of_measurement\":" +
           record::JsonString(unit) + kind +
           ",\"availability\":[{\"topic\":" + record::JsonString(availabilityTopic) +
           ",\"payload_available\":\"online\",\"payload_not_available\":\"offline\"}"
           ",{\"topic\":" +
           state +
           ",\"value_template\":\"{{ 'online' if value_json.value is number else 'offline' }}\""
           ",\"payload_available\":\"online\",\"payload_not_available\":\"offline\"}]"
           ",\"availability_mode\":\"all\""
           ",\"device\":{\"identifiers\":[" +
           record::JsonString(node) +
           "],\"name\":" + record::JsonString("Scale " + std::string(scaleId)) +
           ",\"manufacturer\":\"Karvel\"}}";
}

}  // namespace mqtt
