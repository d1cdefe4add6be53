#pragma once

// The weighing bench beside the panel: checks each captured weighing (--check, --check-limits)
// and shows the verdict in the large readout's band, the status line and to a screen reader,
// with the desktop's event sound on UNDER and OVER (--check-sound); counts pieces once a sample
// is taken ("Count pieces" and "Sample" in the context menu, --count-pieces) and shows them
// beside the panel's display and in the large readout's band; prints a ticket of
// each captured weighing or on Ctrl+P (--print-ticket, --print-preview). Takes the captures of the
// panel's capture point (its own when given none, by --capture, default settled): the check's part
// and then the ticket are sinks of it. A printer that fails is said in the status line and on
// standard error; the weighing is kept and logged all the same.
//
// Thread: UI thread only. Created after the panel, destroyed before it.

#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>
#include <string>

#include "app/weighing/PiecesBeside.h"
#include "app/weighing/TicketSink.h"
#include "record/Capture.h"
#include "record/CheckTally.h"
#include "record/Sink.h"
#include "record/WeighingOptions.h"
#include "scale/FrameObserver.h"

class CScalePanelDlg;
class PanelCapture;
class Recorder;

class WeighingCompanion : public QObject, public scale::FrameObserver, public record::ReadingSink {
    Q_OBJECT
  public:
    struct Setup {
        record::WeighingOptions options;
        // The rule of a capture point of our own.
        record::CaptureRule rule = record::CaptureRule::kSettled;
        std::optional<double> minWeight;
        std::string stateFolder;  // where ticket numbers are kept
        std::string scaleId;      // empty: from the device
        // Shared with whatever else captures (the readings window, the log, MQTT); made from
        // `options` when null.
        std::shared_ptr<record::WeighingRules> rules;
        // The panel's capture point, which gives every capture `rules`; null: one of our own.
        Recorder* capture = nullptr;
    };
    WeighingCompanion(CScalePanelDlg& panel, Setup setup, QObject* parent = nullptr);
    ~WeighingCompanion() override;

    // What every capture is given; the readings window and the log share it.
    std::shared_ptr<record::WeighingRules> Rules() const { return m_rules; }

    void OnFrame(const scale::Frame& frame) override;
    void OnPortState(const scale::PortState& state) override;
    // A captured weighing, checked and counted: shown, said and tallied.
    bool Take(const record::Captured& captured) override;

    // The settled weight on the pan is the sample; refused (and said) when there is none.
    void TakeSample();
    // Asks for the sample's size and counts pieces from the next sample on.
    void StartCounting(int sampleSize);
    // A ticket of the last captured weighing.
    void PrintLast();
    // The check from now on (the readings window's editor); none: no check. The tally starts
    // again.
    void SetCheck(std::optional<record::CheckRule> rule);
    // The readings window's part for the check: the rule to edit (kept for the session) and how
    // the weighings fell. Owned by whoever shows it.
    QWidget* MakeCheckSection();
    const record::CheckTally& Tally() const { return m_tally; }

  signals:
    // A weighing was captured and checked.
    void checked(const record::CapturedReading& reading);
    // What changes the meaning of the weighings after it: the check set ("check") or a sample
    // taken ("sample"), in words.
    void noted(const std::string& kind, const std::string& detail);

  private:
    void Captured(const record::CapturedReading& reading);
    void AddMenu();
    void ShowBand();
    void Say(const QString& message);
    void SayOnStatus(const QString& text);
    std::string ScaleId() const;

    CScalePanelDlg& m_panel;
    Setup m_setup;
    std::shared_ptr<record::WeighingRules> m_rules;
    int m_port = 0;
    bool m_justCaptured = false;  // the frame being told was shown by Take
    std::optional<scale::Reading> m_shown;
    std::optional<record::CapturedReading> m_last;  // the last capture, for Ctrl+P
    std::optional<std::uint64_t> m_lastRecord;      // its seq in the record
    QString m_statusBase;                           // the panel's own text, before ours
    QString m_statusShown;                          // the whole text as we last set it
    record::CheckTally m_tally;
    QPointer<QLabel> m_tallyShown;  // in the readings window, while it lives
    PiecesBeside m_piecesBeside;
    TicketSink m_ticket;
    std::unique_ptr<PanelCapture> m_ownCapture;  // lent this and the ticket: goes first
};
