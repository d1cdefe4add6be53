#include "mqtt/MqttMirror.h"

#include <unistd.h>

#include <array>

#include "mqtt/ScaleId.h"
#include "record/Forms.h"

namespace mqtt {
namespace {

constexpr auto kDrainAtEnd = std::chrono::seconds(2);

std::string HostName() {
    std::array<char, 256> name{};
    if (::gethostname(name.data(), name.size() - 1) != 0)
        return {};
    return name.data();
}

}  // namespace

MqttMirror::MqttMirror(MqttOptions options, std::function<std::string(int port)> byIdName,
                       std::function<void(const std::string&)> say,
                       std::function<void(const std::string&)> trouble)
    : m_options(std::move(options)),
      m_byIdName(std::move(byIdName)),
      m_say(std::move(say)),
      m_trouble(std::move(trouble)) {}

MqttMirror::~MqttMirror() {
    if (m_publisher)
        m_publisher->Stop(kDrainAtEnd);
}

void MqttMirror::OnPortState(const scale::PortState& state) {
    m_capturer.Reset();
    m_port = state.change == scale::PortState::Change::kOpened ? state.port : 0;
    m_device = state.device;
    m_portName = state.name;
    if (m_publisher)
        m_publisher->PortLost(state.change == scale::PortState::Change::kLost);
    if (m_publisher || m_port == 0 || !m_options.Enabled())
        return;
    m_id = DefaultScaleId(m_byIdName(m_port), HostName(),
                          state.name.empty() ? record::PortName(m_port) : state.name);
    MqttPublisher::Hooks hooks;
    hooks.say = m_say;
    hooks.trouble = m_trouble;
    m_publisher = std::make_unique<MqttPublisher>(m_options, m_id, std::move(hooks));
    std::string error;
    if (!m_publisher->Start(&error)) {
        m_say("mqtt: " + error);
        if (m_trouble)
            m_trouble("mqtt: " + error);
        m_publisher.reset();
        m_options.url.clear();  // said once; nothing is published
    }
}

void MqttMirror::OnFrame(const scale::Frame& frame) {
    if (m_followsRecord || !m_publisher || m_port == 0)
        return;
    if (auto reading = m_capturer.Offer(frame, m_port, m_device)) {
        reading->portName = m_portName;
        if (m_bench)
            m_bench->Apply(&*reading);
        m_publisher->Publish(record::JsonObject(*reading, m_id), reading->reading.unit);
    }
}

bool MqttMirror::Take(const record::Captured& captured) {
    if (!m_publisher || m_port == 0)
        return true;
    // Under the broker's name for the scale, which the record's may not be.
    const record::Captured named(captured.Reading(), m_id);
    if (captured.Record())
        named.SetRecord(*captured.Record());
    m_publisher->Publish(named.Json(), captured.Reading().reading.unit);
    return true;
}

}  // namespace mqtt
