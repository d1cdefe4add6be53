#include "scale/families/Listener.h"

#include <string>

namespace scale::families {

Listener::Listener(std::span<const Family* const> candidates, const LineSettings& line,
                   Framing framing, std::string_view pattern, std::size_t agreeing)
    : m_agreeing(agreeing) {
    for (const Family* family : candidates) {
        std::string error;
        const LineSettings read = framing == Framing::kFamilys ? FramingAt(*family, line) : line;
        if (auto decoder = MakeDecoder(*family, read, pattern, &error))
            m_ears.push_back({family, std::move(decoder), {}});
    }
}

void Listener::Push(std::span<const std::uint8_t> bytes) {
    m_heard += bytes.size();
    for (Ear& ear : m_ears) {
        m_scratch.clear();
        ear.decoder->Push(bytes, &m_scratch);
        for (Decoded& decoded : m_scratch) {
            if (decoded.reading.error.empty())
                ear.readings.push_back(std::move(decoded));
        }
    }
}

const Family* Listener::Found() const {
    for (const Ear& ear : m_ears) {
        if (ear.readings.size() >= m_agreeing)
            return ear.family;
    }
    return nullptr;
}

const std::vector<Decoded>& Listener::Readings() const {
    static const std::vector<Decoded> kNone;
    for (const Ear& ear : m_ears) {
        if (ear.readings.size() >= m_agreeing)
            return ear.readings;
    }
    return kNone;
}

}  // namespace scale::families
