#include "app/readings/PanelCapture.h"

#include "app/CScalePanelDlg.h"

PanelCapture::PanelCapture(CScalePanelDlg& panel, record::CaptureRule rule,
                           std::optional<double> minWeight,
                           std::shared_ptr<const record::WeighingRules> rules)
    : m_panel(panel), m_recorder(rule, minWeight) {
    m_recorder.SetWeighingRules(std::move(rules));
    m_panel.AttachObserver(&m_recorder);
    // A port opened before is told now, as the panel would have told it: a family's port is its
    // link's, not the engine's.
    if (!m_panel.IsShownClosed()) {
        const int port = m_panel.Port();
        m_recorder.OnPortState({scale::PortState::Change::kOpened, port,
                                m_panel.FamilyLink() ? m_panel.FamilyLink()->Device()
                                                     : m_panel.SerialPort().DevicePath(),
                                m_panel.Ports().NameOf(static_cast<unsigned>(port))});
    }
}

PanelCapture::~PanelCapture() {
    m_panel.DetachObserver(&m_recorder);
}
