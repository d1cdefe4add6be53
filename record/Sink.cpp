#include "record/Sink.h"

#include <utility>

#include "record/Forms.h"

namespace record {

const std::string& Captured::Json() const {
    if (!m_json) {
        m_json = JsonObject(m_reading, m_scaleId);
        if (m_record)
            m_json->insert(m_json->size() - 1, ",\"record\":" + std::to_string(*m_record));
    }
    return *m_json;
}

void SinkList::Add(std::unique_ptr<ReadingSink> sink) {
    m_sinks.push_back(std::move(sink));
}

bool SinkList::Hand(const CapturedReading& reading, std::string_view scaleId) {
    const Captured captured(reading, scaleId);
    bool gone = false;
    bool serves = false;
    for (const auto& sink : m_sinks) {
        const bool taken = sink->Take(captured);
        if (!taken && sink->Gates())
            return false;
        gone |= !taken;
        serves |= sink->Serves();
    }
    return !gone || serves;
}

void SinkList::PortLost(bool lost) {
    for (const auto& sink : m_sinks)
        sink->PortLost(lost);
}

int SinkList::Finish(int code) {
    for (const auto& sink : m_sinks)
        code = sink->Finish(code);
    return code;
}

}  // namespace record
