#pragma once

// What keeps weighings beside the panel: the "Readings..." item of the panel's context menu and
// Ctrl+R, the panel's one capture point (attached to the panel once the user asked for a log or
// opened the window, or once another part of the panel wants captures) with its list of sinks,
// the --log writer with SIGHUP reopening it, and the readings window. Before any is asked for,
// nothing is attached and nothing is kept. While the window holds
// readings that were neither logged nor exported, ending the panel asks first: save them as a
// spreadsheet, discard them, or go on (the panel stays open).
//
// Thread: UI thread only. Lives inside the panel's lifetime: created after the panel, destroyed
// before it.

#include <QObject>
#include <QPointer>

#include <functional>

#include <memory>
#include <optional>

#include "app/readings/RecordOptions.h"
#include "platform/posix/Result.h"
#include "record/LogFile.h"
#include "record/Weighing.h"
#include "record/store/Verify.h"

class CScalePanelDlg;
class QAction;
class LogWriter;
class ReadingsModel;
class ReadingsWindow;
class PanelCapture;
class PanelRecord;
class Recorder;
class Trend;
namespace window {
class HangUpSignal;
}

class ReadingsCompanion : public QObject {
    Q_OBJECT
  public:
    // `log`: the --log file, opened; nullptr without --log.
    // `bench`: what every capture is given (a check, pieces) and the log's columns for it; null:
    // nothing.
    ReadingsCompanion(CScalePanelDlg& panel, const RecordOptions& options,
                      std::unique_ptr<record::LogFile> log,
                      std::shared_ptr<const record::WeighingRules> bench = nullptr);
    ~ReadingsCompanion() override;

    // The panel's capture point, attached from now on; sinks added to it see every capture.
    Recorder& Capture();
    // `capture` is the panel's capture point from now on, ours; before Capture is first asked.
    void TakeCapture(std::unique_ptr<PanelCapture> capture);
    // Writes every capture to `log` from now on, after the sinks added before.
    void StartLog(std::unique_ptr<record::LogFile> log);
    // Weighings are recorded (--record) by `record`, already the capture point's first sink: the
    // window lists every weighing of the run with its seq, and its menu verifies the record.
    void KeepRecord(std::unique_ptr<PanelRecord> record);
    // "Verify record...": walks every chain off the UI thread and shows what it found in a
    // message box; the item is off meanwhile, and a walk under way is not started again.
    void VerifyRecord();

    void ShowWindow();
    // Called when the window is made, for a part of the window's own; it owns what is returned.
    void SetWindowSection(std::function<QWidget*()> make) { m_section = std::move(make); }
    ReadingsWindow* Window() const { return m_window.get(); }

    // Whether the panel may end now; asks the user when readings would be lost.
    bool MayEnd();

  private:
    // The window's model, listening to the capture point from now on.
    void MakeModel();
    void ShowVerdict(const posix::Result<record::store::Verdict>& verdict);

    CScalePanelDlg& m_panel;
    record::CaptureRule m_rule;
    std::optional<double> m_minWeight;
    record::CsvDialect m_dialect;
    std::shared_ptr<const record::WeighingRules> m_bench;
    std::unique_ptr<LogWriter> m_log;       // lent to the capture's sinks, which go first
    std::unique_ptr<PanelRecord> m_record;  // lent to the capture, which goes first
    std::unique_ptr<PanelCapture> m_capture;
    std::unique_ptr<window::HangUpSignal> m_hangUp;
    std::unique_ptr<ReadingsModel> m_model;
    std::unique_ptr<Trend> m_trend;
    std::unique_ptr<ReadingsWindow> m_window;
    std::function<QWidget*()> m_section;
    QPointer<QAction> m_verify;  // the window's "Verify record..."
};
