#include "app/readings/PanelCapture.h"

#include <QSysInfo>

#include "app/CScalePanelDlg.h"
#include "mqtt/ScaleId.h"

std::string PanelScaleId(const CScalePanelDlg& panel, const std::string& given, int port) {
    if (!given.empty())
        return given;
    std::string byId;
    for (const serial_port::PortInfo& info : panel.Ports().List()) {
        if (static_cast<int>(info.number) == port)
            byId = info.byId;
    }
    return mqtt::DefaultScaleId(byId, QSysInfo::machineHostName().toStdString(), port);
}

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
