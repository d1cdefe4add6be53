#include "mqtt/MqttSink.h"

namespace mqtt {

MqttSink::MqttSink(MqttPublisher& publisher, std::chrono::milliseconds drain, int lost)
    : m_publisher(publisher), m_drain(drain), m_lost(lost) {}

bool MqttSink::Take(const record::Captured& captured) {
    m_publisher.Publish(captured.Json(), captured.Reading().reading.unit);
    return true;
}

int MqttSink::Finish(int code) {
    // A run that lost what it was to deliver is no success, however it ended.
    const std::size_t lost = m_publisher.Stop(m_drain);
    return code == 0 && lost > 0 ? m_lost : code;
}

}  // namespace mqtt
