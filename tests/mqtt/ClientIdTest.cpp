// The broker's client id for a scale: two readers that differ in prefix or id never share one,
// or the broker would cut each off for the other.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

#include "mqtt/MqttOptions.h"

namespace mqtt {
namespace {

TEST(ClientId, NoTwoPrefixIdPairsShareOne) {
    const struct {
        std::string_view prefix;
        std::string_view id;
    } pairs[] = {
        {"plant-a", "x"}, {"plant", "a-x"},       {"plant", "a.x"},  {"plant.a", "x"},
        {"plant/a", "x"}, {"plant", "a_x"},       {"plant_a", "x"},  {"plant-a-x", "x"},
        {"a/b", "c"},     {"a", "b-c"},           {"a b", "c"},      {"a", "b.c"},
        {"karvel", "x"},  {"karvel/karvel", "x"}, {"plant/-a", "x"},
    };
    std::set<std::string> seen;
    for (const auto& pair : pairs) {
        SCOPED_TRACE(std::string(pair.prefix) + " + " + std::string(pair.id));
        EXPECT_TRUE(seen.insert(ClientId(pair.prefix, pair.id)).second);
    }
}

TEST(ClientId, ReadsAsPrefixAndId) {
    EXPECT_EQ(ClientId("plant-a", "x"), "karvel/plant-a/x");
    EXPECT_EQ(ClientId("plant", "a-x"), "karvel/plant/a-x");
}

}  // namespace
}  // namespace mqtt
