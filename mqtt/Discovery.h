#pragma once

// The Home Assistant discovery record of one scale: a retained sensor config under
// homeassistant/sensor/NODE/weight/config. Plain C++: no client library.

#include <string>
#include <string_view>

namespace mqtt {

// Home Assistant takes only letters, digits, '_' and '-' in a node id. "karvel_" + the scale id
// when the id holds nothing else (so existing records keep their topic); otherwise every other
// byte becomes '_' and 8 hex digits of a hash of the whole id follow, so "lab.scale" and
// "lab_scale" stay two sensors.
std::string DiscoveryNodeId(std::string_view scaleId);
std::string DiscoveryTopic(std::string_view scaleId);

// The config for a scale whose state is at `stateTopic` and availability at
// `availabilityTopic`, showing `unit` (a lit mass label such as "kg"). The sensor is unavailable
// while the reader is offline and while the latest state holds no number (over load, "----"),
// so Home Assistant never renders a missing value into a numeric sensor.
std::string DiscoveryRecord(std::string_view scaleId, std::string_view stateTopic,
                            std::string_view availabilityTopic, std::string_view unit);

}  // namespace mqtt
