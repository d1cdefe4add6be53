#include "app/readings/Recorder.h"

#include <chrono>

namespace {

std::int64_t MsOf(std::chrono::system_clock::time_point time) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
}

}  // namespace

Recorder::Recorder(record::CaptureRule rule, std::optional<double> minWeight)
    : m_capturer(rule, minWeight) {}

void Recorder::SetRule(record::CaptureRule rule) {
    m_capturer = record::Capturer(rule, m_capturer.MinWeight());
}

void Recorder::OnFrame(const scale::Frame& frame) {
    // Frames of a port being probed by the scan belong to no port shown open yet.
    if (m_port == 0)
        return;
    std::optional<record::CapturedReading> reading = m_capturer.Offer(frame, m_port, m_device);
    const bool captured = reading.has_value();
    if (m_fresh && !reading)
        reading = m_fresh->Offer(frame, m_port, m_device);
    m_fresh.reset();
    if (reading)
        reading->portName = m_portName;
    if (m_trend) {
        std::optional<scale::Reading> decoded;
        const scale::Reading& shown = reading ? reading->reading
                                      : frame.familyReading
                                          ? *frame.familyReading
                                          : decoded.emplace(scale::Read(frame.values));
        if (const std::optional<scale::Number>& number = shown.number) {
            const Trend::Point point{MsOf(frame.wallTime), number->value};
            m_trend->AddValue(point, shown.unit);
            if (reading)
                m_trend->AddCapture(point);
        }
    }
    if (reading && m_bench)
        m_bench->Apply(&*reading);
    if (!reading)
        return;
    if (!captured) {
        emit listed(*reading);
        return;
    }
    // The panel goes on whatever became of a destination: nothing here ends it.
    (void)m_sinks.Hand(*reading, {});
    emit this->captured(*reading);
}

void Recorder::OnPortState(const scale::PortState& state) {
    const bool opened = state.change == scale::PortState::Change::kOpened;
    m_port = opened ? state.port : 0;
    m_device = opened ? state.device : std::string();
    m_portName = opened ? state.name : std::string();
    m_capturer.Reset();
    m_sinks.PortLost(state.change == scale::PortState::Change::kLost);
    if (m_trend)
        m_trend->Break();
}
