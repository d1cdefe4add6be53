#include "app/readings/PanelCapture.h"

#include "app/CScalePanelDlg.h"

PanelCapture::PanelCapture(CScalePanelDlg& panel, record::CaptureRule rule,
                           std::optional<double> minWeight,
                           std::shared_ptr<const record::WeighingRules> rules)
    : m_panel(panel), m_recorder(rule, minWeight) {
    m_recorder.SetWeighingRules(std::move(rules));
    m_panel.AttachObserver(&m_recorder);
    // A port opened before is told now, as the panel would have told it.
    if (!m_panel.IsShownClosed())
        m_recorder.OnPortState(m_panel.PortStateOf(scale::PortState::Change::kOpened));
}

PanelCapture::~PanelCapture() {
    m_panel.DetachObserver(&m_recorder);
}
