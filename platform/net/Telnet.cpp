#include "platform/net/Telnet.h"

namespace net::telnet {
namespace {

constexpr std::uint8_t kCr = '\r';

}  // namespace

void Reader::Push(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>* data,
                  std::vector<Command>* commands) {
    for (const std::uint8_t byte : bytes)
        Byte(byte, data, commands);
}

void Reader::Byte(std::uint8_t byte, std::vector<std::uint8_t>* data,
                  std::vector<Command>* commands) {
    switch (m_state) {
        case State::kData:
            if (byte == kIac) {
                m_state = State::kAfterIac;
                return;
            }
            if (!(byte == 0 && m_afterCr && !m_binary))
                data->push_back(byte);
            m_afterCr = byte == kCr;
            return;
        case State::kAfterIac:
            m_afterCr = false;
            if (byte == kIac) {
                data->push_back(kIac);
                m_state = State::kData;
            } else if (byte == kSb) {
                m_sub.clear();
                m_subTooLong = false;
                m_state = State::kSub;
            } else if (byte >= kWill) {
                m_verb = byte;
                m_state = State::kOption;
            } else {
                m_state = State::kData;
            }
            return;
        case State::kOption:
            // Binary mode counts from where the server says so, not from where a read ends.
            if (byte == kBinary && (m_verb == kWill || m_verb == kWont))
                m_binary = m_verb == kWill;
            commands->push_back({m_verb, byte, {}});
            m_state = State::kData;
            return;
        case State::kSub:
        case State::kSubIac:
            SubByte(byte, commands);
            return;
    }
}

void Reader::SubByte(std::uint8_t byte, std::vector<Command>* commands) {
    if (m_state == State::kSub && byte == kIac) {
        m_state = State::kSubIac;
        return;
    }
    if (m_state == State::kSubIac && byte == kSe) {
        m_state = State::kData;
        if (!m_sub.empty() && !m_subTooLong)
            commands->push_back({kSb, m_sub.front(), {m_sub.begin() + 1, m_sub.end()}});
        return;
    }
    // IAC IAC inside is one 0xFF; IAC and anything else is read as that byte (lenient, as
    // servers that forget to escape are).
    m_state = State::kSub;
    if (m_sub.size() < kMaxSubNegotiation)
        m_sub.push_back(byte);
    else
        m_subTooLong = true;
}

std::vector<std::uint8_t> Escaped(std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> out;
    out.reserve(data.size());
    for (const std::uint8_t byte : data) {
        out.push_back(byte);
        if (byte == kIac)
            out.push_back(kIac);
    }
    return out;
}

std::vector<std::uint8_t> Negotiation(std::uint8_t verb, std::uint8_t option) {
    return {kIac, verb, option};
}

std::vector<std::uint8_t> SubNegotiation(std::uint8_t option,
                                         std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> out = {kIac, kSb, option};
    const std::vector<std::uint8_t> escaped = Escaped(payload);
    out.insert(out.end(), escaped.begin(), escaped.end());
    out.push_back(kIac);
    out.push_back(kSe);
    return out;
}

}  // namespace net::telnet
