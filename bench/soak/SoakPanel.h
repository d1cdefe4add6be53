#pragma once

// The panel as the program runs it, with every received byte also read by a LineTally before
// the panel handles it.
//
// Thread: UI thread, like the panel.

#include "app/CScalePanelDlg.h"
#include "bench/soak/LineTally.h"

namespace soak {

class SoakPanel : public CScalePanelDlg {
  public:
    using CScalePanelDlg::CScalePanelDlg;

    window::LResult HandleMessage(window::MessageId id, window::WParam w,
                                  window::LParam l) override;

    const LineTally& Line() const { return m_line; }
    LineTally& Line() { return m_line; }

  private:
    LineTally m_line;
};

}  // namespace soak
