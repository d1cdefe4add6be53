#pragma once

// The panel's one capture point: a recorder attached to the panel for as long as this lives.
// Everything beside the panel that wants captured readings (the check and the ticket, the log,
// typing, the readings window) is a sink of its recorder, so a weighing is captured once, by one
// rule, and every sink sees the same captures in the order the sinks were added.
//
// Thread: UI thread only. Lives inside the panel's lifetime.

#include <memory>
#include <optional>
#include <string>

#include "app/readings/Recorder.h"
#include "record/Capture.h"
#include "record/Weighing.h"

class CScalePanelDlg;

// The scale's name in what the panel keeps (the record, tickets): `given` (--id), else made from
// the device of COM`port`, the machine and the port.
std::string PanelScaleId(const CScalePanelDlg& panel, const std::string& given, int port);

class PanelCapture {
  public:
    // `rules`: what every capture is given (a check, pieces); null: nothing.
    PanelCapture(CScalePanelDlg& panel, record::CaptureRule rule, std::optional<double> minWeight,
                 std::shared_ptr<const record::WeighingRules> rules);
    ~PanelCapture();
    PanelCapture(const PanelCapture&) = delete;
    PanelCapture& operator=(const PanelCapture&) = delete;

    Recorder& Get() { return m_recorder; }

  private:
    CScalePanelDlg& m_panel;
    Recorder m_recorder;
};
