// The Home Assistant discovery record: a node id Home Assistant takes and no two scales share,
// and a payload of the documented sensor schema that follows the unit and marks a reading
// without a number unavailable.

#include "mqtt/Discovery.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <set>
#include <string>

namespace mqtt {
namespace {

TEST(Discovery, NodeIdsAreValidAndDistinct) {
    const struct {
        const char* id;
        const char* node;  // a regular expression
    } cases[] = {
        {"s1", "karvel_s1"},
        {"bench-1_a", "karvel_bench-1_a"},
        {"lab.scale.2", "karvel_lab_scale_2_[0-9a-f]{8}"},
        {"lab_scale_2", "karvel_lab_scale_2"},
        {"lab.scale_2", "karvel_lab_scale_2_[0-9a-f]{8}"},
        {"lab_scale.2", "karvel_lab_scale_2_[0-9a-f]{8}"},
        {"..a", "karvel___a_[0-9a-f]{8}"},
        {"_.a", "karvel___a_[0-9a-f]{8}"},
        {"._a", "karvel___a_[0-9a-f]{8}"},
    };
    const QRegularExpression valid(QStringLiteral("^[a-zA-Z0-9_-]+$"));
    std::set<std::string> seen;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        const std::string node = DiscoveryNodeId(c.id);
        EXPECT_TRUE(valid.match(QString::fromStdString(node)).hasMatch()) << node;
        const QRegularExpression expected(QStringLiteral("^%1$").arg(QLatin1String(c.node)));
        EXPECT_TRUE(expected.match(QString::fromStdString(node)).hasMatch()) << node;
        EXPECT_TRUE(seen.insert(node).second) << node << " twice";
        EXPECT_EQ(DiscoveryTopic(c.id), "homeassistant/sensor/" + node + "/weight/config");
    }
}

// The keys Home Assistant documents for an MQTT sensor, its device and an availability entry.
const QSet<QString> kSensorKeys = {
    "availability",
    "availability_mode",
    "availability_template",
    "availability_topic",
    "device",
    "device_class",
    "enabled_by_default",
    "encoding",
    "entity_category",
    "expire_after",
    "force_update",
    "icon",
    "json_attributes_template",
    "json_attributes_topic",
    "last_reset_value_template",
    "name",
    "object_id",
    "payload_available",
    "payload_not_available",
    "qos",
    "state_class",
    "state_topic",
    "suggested_display_precision",
    "unique_id",
    "unit_of_measurement",
    "value_template",
};
const QSet<QString> kDeviceKeys = {
    "configuration_url", "connections", "hw_version", "identifiers",
    "manufacturer",      "model",       "name",       "serial_number",
    "suggested_area",    "sw_version",  "via_device"};
const QSet<QString> kAvailabilityKeys = {"payload_available", "payload_not_available", "topic",
                                         "value_template"};

QSet<QString> Keys(const QJsonObject& object) {
    const QStringList keys = object.keys();
    return {keys.begin(), keys.end()};
}

TEST(Discovery, RecordFollowsTheSchemaAndTheUnit) {
    const struct {
        const char* unit;
        const char* deviceClass;  // empty: none
    } cases[] = {{"kg", "weight"}, {"lb", "weight"}, {"oz", "weight"}, {"viss", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.unit);
        const std::string text = DiscoveryRecord("lab.scale.2", "plant/lab.scale.2/state",
                                                 "plant/lab.scale.2/availability", c.unit);
        QJsonParseError error{};
        const QJsonDocument document =
            QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << text;
        const QJsonObject record = document.object();
        EXPECT_TRUE(kSensorKeys.contains(Keys(record))) << text;
        EXPECT_TRUE(kDeviceKeys.contains(Keys(record["device"].toObject()))) << text;
        EXPECT_EQ(record["unit_of_measurement"].toString().toStdString(), c.unit);
        EXPECT_EQ(record["device_class"].toString().toStdString(), c.deviceClass);
        EXPECT_EQ(record["state_topic"].toString(), "plant/lab.scale.2/state");
        EXPECT_EQ(record["unique_id"].toString().toStdString(),
                  DiscoveryNodeId("lab.scale.2") + "_weight");
        // A list of availability topics does not go with a single one.
        EXPECT_FALSE(record.contains("availability_topic"));
        EXPECT_EQ(record["availability_mode"].toString(), "all");
        const QJsonArray availability = record["availability"].toArray();
        ASSERT_EQ(availability.size(), 2);
        QStringList topics;
        for (const QJsonValue& entry : availability) {
            EXPECT_TRUE(kAvailabilityKeys.contains(Keys(entry.toObject()))) << text;
            topics.push_back(entry["topic"].toString());
        }
        EXPECT_EQ(topics,
                  QStringList({"plant/lab.scale.2/availability", "plant/lab.scale.2/state"}));
        EXPECT_EQ(availability[1]["value_template"].toString(),
                  "{{ 'online' if value_json.value is number else 'offline' }}");
    }
}

}  // namespace
}  // namespace mqtt
