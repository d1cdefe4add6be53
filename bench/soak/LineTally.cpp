#include "bench/soak/LineTally.h"

#include "tools/scalesim/ScaleFrames.h"

namespace soak {

void LineTally::Add(std::uint8_t byte) {
    ++m_bytes;
    Take(byte);
}

void LineTally::Take(std::uint8_t byte) {
    using namespace scalesim;
    switch (m_held) {
        case 0:
            if (byte == kHeader0)
                ++m_held;
            else
                ++m_stray;
            return;
        case 1:
            if (byte == kHeader1) {
                ++m_held;
                return;
            }
            // A lone first header byte; the new byte may start a header itself.
            ++m_stray;
            m_held = 0;
            Take(byte);
            return;
        case 2:
            // A frame's third byte is always the unused one; anything else ends an answer.
            if (byte == kUnusedByte) {
                ++m_held;
                return;
            }
            ++m_answers;
            m_held = 0;
            Take(byte);
            return;
        default:
            ++m_held;
            if (m_held == kFrameSize) {
                ++m_frames;
                m_held = 0;
            }
            return;
    }
}

void LineTally::Finish() {
    if (m_held == 2)
        ++m_answers;
    else
        m_stray += m_held;
    m_held = 0;
}

}  // namespace soak
