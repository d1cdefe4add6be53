#include "record/RawLines.h"

#include "record/Escape.h"
#include "record/Forms.h"
#include "scale/Protocol.h"

namespace record {
namespace {

constexpr std::size_t kBytesPerLine = 16;

}  // namespace

std::optional<std::string> RawLines::Add(std::uint8_t byte, bool frameStart,
                                         Clock::time_point now) {
    std::optional<std::string> done;
    if (frameStart) {
        // The 06 still waiting here moves to the frame's line.
        const bool headerHere = !m_bytes.empty() && m_bytes.back() == scale::kHeader0;
        if (headerHere)
            m_bytes.pop_back();
        done = Flush();
        if (headerHere)
            m_bytes.push_back(scale::kHeader0);
        m_first = now;
        m_frameStart = true;
    } else if (m_bytes.empty()) {
        m_first = now;
    }
    m_bytes.push_back(byte);
    if (m_bytes.size() == kBytesPerLine)
        done = Flush();
    return done;
}

std::optional<std::string> RawLines::Flush() {
    if (m_bytes.empty())
        return std::nullopt;
    std::string line = UtcText(m_first) + " ";
    std::string ascii;
    for (std::size_t i = 0; i < kBytesPerLine; ++i) {
        line += ' ';
        if (i < m_bytes.size()) {
            AppendHex(&line, m_bytes[i]);
            const std::uint8_t b = m_bytes[i];
            ascii += b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
        } else {
            line += "  ";
        }
    }
    line += "  |" + ascii + "|";
    if (m_frameStart)
        line += " <- frame start";
    m_bytes.clear();
    m_frameStart = false;
    return line + "\n";
}

}  // namespace record
