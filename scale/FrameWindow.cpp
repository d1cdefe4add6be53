#include "scale/FrameWindow.h"

#include <algorithm>
#include <utility>

namespace scale {

void ProbeAnswer::Begin() {
    m_answered = false;
    m_newestInProbe = false;
    m_probed = true;
    m_placeLeft = 0;
}

std::optional<std::size_t> ProbeAnswer::Note(std::uint8_t previous, std::uint8_t byte) {
    const bool previousInProbe = std::exchange(m_newestInProbe, true);
    const bool pair = previousInProbe && StartsFrame(previous, byte);
    const std::size_t sincePair =
        std::exchange(m_sincePair, pair ? 0 : std::min(m_sincePair + 1, kFrameSize));
    const std::size_t placeLeft = std::exchange(m_placeLeft, m_placeLeft > 0 ? m_placeLeft - 1 : 0);
    if (!pair)
        return std::nullopt;
    if (!m_answered) {
        m_answered = true;
        if (!m_probed)
            return std::nullopt;
        m_placeLeft = 2 * kFrameSize;
        return 0;
    }
    if (placeLeft > 0 && sincePair == 1) {
        m_placeLeft = 0;
        return 2;
    }
    return std::nullopt;
}

bool FrameWindow::Push(std::uint8_t byte, ProbeAnswer* probe) {
    const std::uint8_t previous = m_bytes.back();
    std::copy(m_bytes.begin() + 1, m_bytes.end(), m_bytes.begin());
    m_bytes.back() = byte;
    m_sent = std::min(m_sent + 1, kFrameSize);
    if (probe != nullptr) {
        if (const std::optional<std::size_t> after = probe->Note(previous, byte))
            m_sent = *after;
    }
    return HoldsFrame();
}

}  // namespace scale
