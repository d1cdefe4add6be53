#include "scale/FrameWindow.h"

#include <algorithm>
#include <utility>

namespace scale {

void ProbeAnswer::Begin() {
    m_answered = false;
    m_newestInProbe = false;
}

void ProbeAnswer::Note(std::uint8_t previous, std::uint8_t byte) {
    const bool previousInProbe = std::exchange(m_newestInProbe, true);
    if (previousInProbe && StartsFrame(previous, byte))
        m_answered = true;
}

bool FrameWindow::Push(std::uint8_t byte, ProbeAnswer* probe) {
    const std::uint8_t previous = m_bytes.back();
    std::copy(m_bytes.begin() + 1, m_bytes.end(), m_bytes.begin());
    m_bytes.back() = byte;
    if (probe != nullptr)
        probe->Note(previous, byte);
    return HoldsFrame();
}

}  // namespace scale
