#pragma once

// The weighing record in the panel (--record): the first sink of the panel's capture point, so a
// weighing is committed before the check, the ticket, the log or typing sees it. It follows the
// panel's port: the scale's start event when a port first shows open (again when another scale's
// does), the port lost and back. Rows waiting for the record's database are sent once a second,
// and how many wait is said in the tooltips of the status line and the lamp.
//
// Thread: UI thread only. Lives inside the panel's lifetime; attached to it while it lives.

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/readings/RecordCheck.h"
#include "platform/posix/Result.h"
#include "record/Sink.h"
#include "record/Weighing.h"
#include "record/store/RecordSink.h"
#include "record/store/Verify.h"
#include "scale/FrameObserver.h"

class CScalePanelDlg;

class PanelRecord : public QObject, public record::ReadingSink, public scale::FrameObserver {
    Q_OBJECT
  public:
    struct Setup {
        record::store::RecordSink::Identity identity;
        // The scale's name in the record for the port shown open (n of COMn).
        std::function<std::string(int port)> scaleId;
        // The same record opened again to read, for a check.
        std::function<posix::Result<std::unique_ptr<record::store::WeighingRecord>>()> openToRead;
        // The check a scale's start event names; null: none.
        std::shared_ptr<const record::WeighingRules> rules;
        // The exit status when rows still wait for the database at the end (said with their
        // number); told to `ended`, which is told 0 otherwise.
        int waitingCode = 0;
        std::function<void(int status)> ended;
    };
    // `record`: opened for writing.
    PanelRecord(CScalePanelDlg& panel, std::unique_ptr<record::store::WeighingRecord> record,
                Setup setup);
    ~PanelRecord() override;
    PanelRecord(const PanelRecord&) = delete;
    PanelRecord& operator=(const PanelRecord&) = delete;

    // Commits the weighing under the scale's name, or refuses it (and says so): then no other sink
    // sees it.
    bool Take(const record::Captured& captured) override;
    bool Gates() const override { return true; }
    void OnFrame(const scale::Frame&) override {}
    void OnPortState(const scale::PortState& state) override;

    // The seq of the weighing last handed on, while the sinks after this one and the capture
    // point's listeners see it; none when it could not be kept.
    std::optional<std::uint64_t> LastSeq() const { return m_lastSeq; }
    // Sends what waits for the database; how many rows still wait, said when it changes.
    std::uint64_t Flush();
    // Walks every chain on a thread of its own, as karvel-read --verify does; `done` follows on
    // the UI thread. False while a walk runs.
    bool Verify(RecordCheck::Done done) { return m_check.Start(std::move(done)); }
    // An event of the scale begun ("check", "sample", ...).
    void Note(std::string_view kind, std::string detail);

  private:
    void Say(const std::string& message);
    void ShowWaiting(std::uint64_t waiting);
    void ShowTrouble(const char* source, const QString& text);

    CScalePanelDlg& m_panel;
    std::unique_ptr<record::store::RecordSink> m_sink;
    Setup m_setup;
    std::string m_scale;  // of the start event last kept; empty before the first port
    bool m_lost = false;
    std::optional<std::uint64_t> m_lastSeq;
    std::uint64_t m_waiting = 0;
    QTimer m_flush;
    RecordCheck m_check;  // after m_setup, whose openToRead it takes
};
