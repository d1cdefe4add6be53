#pragma once

// A panel that lets a test act on each message right after the panel has handled it, while the
// sending thread still waits for the answer. It records into the harness's display log and
// captured boxes, like the panel apptest::PanelHarness builds.

#include <functional>
#include <memory>

#include "tests/app/PanelHarness.h"

namespace faulttest {

class ObservedPanel : public CScalePanelDlg {
  public:
    using CScalePanelDlg::CScalePanelDlg;

    window::LResult HandleMessage(window::MessageId id, window::WParam w,
                                  window::LParam l) override {
        const window::LResult result = CScalePanelDlg::HandleMessage(id, w, l);
        if (afterMessage)
            afterMessage(id, w);
        return result;
    }

    // UI thread.
    std::function<void(window::MessageId id, window::WParam w)> afterMessage;
};

// Puts an ObservedPanel in place of the harness's panel (before Start).
inline ObservedPanel& Observe(apptest::PanelHarness& h) {
    PanelServices services;
    services.ports = h.Ports();
    services.createControl = apptest::RecordingCreator(h.log);
    services.presenter = [&h](QWidget* parent, const MessageBoxRequest& request) {
        h.boxes.push_back({parent, request});
    };
    auto panel = std::make_unique<ObservedPanel>(std::move(services));
    ObservedPanel& observed = *panel;
    h.panel = std::move(panel);
    return observed;
}

}  // namespace faulttest
