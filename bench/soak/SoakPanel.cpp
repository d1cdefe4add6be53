#include "bench/soak/SoakPanel.h"

namespace soak {

window::LResult SoakPanel::HandleMessage(window::MessageId id, window::WParam w, window::LParam l) {
    if (id == PN_BYTE)
        m_line.Add(static_cast<std::uint8_t>(w & 0xFF));
    return CScalePanelDlg::HandleMessage(id, w, l);
}

}  // namespace soak
