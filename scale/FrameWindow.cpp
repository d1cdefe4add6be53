#include "scale/FrameWindow.h"

#include <algorithm>
#include <utility>

namespace scale {

bool FrameWindow::Push(std::uint8_t byte) {
    const std::uint8_t previous = m_bytes.back();
    std::copy(m_bytes.begin() + 1, m_bytes.end(), m_bytes.begin());
    m_bytes.back() = byte;
    const bool previousInProbe = std::exchange(m_newestInProbe, true);
    if (previousInProbe && StartsFrame(previous, byte))
        m_answered = true;
    return HoldsFrame();
}

void FrameWindow::BeginProbe() {
    m_answered = false;
    m_newestInProbe = false;
}

}  // namespace scale
