#include "app/readings/PanelRecord.h"

#include <cstdio>
#include <utility>

#include "app/CScalePanelDlg.h"
#include "app/TroubleTip.h"
#include "link/Source.h"
#include "record/Forms.h"
#include "scale/families/Family.h"

namespace {

// Two lines of the panel's trouble: what failed, and what waits.
constexpr char kFailed[] = "record";
constexpr char kWaiting[] = "record spool";

}  // namespace

PanelRecord::PanelRecord(CScalePanelDlg& panel,
                         std::unique_ptr<record::store::WeighingRecord> record, Setup setup)
    : m_panel(panel), m_setup(std::move(setup)), m_check(m_setup.openToRead) {
    if (record->Created())
        std::fprintf(stderr, "Karvel: --record: made the weighing record %s\n",
                     record->Where().c_str());
    // A weighing refused is said at once and the panel goes on: that is no exit status.
    m_sink = std::make_unique<record::store::RecordSink>(
        std::move(record), m_setup.identity, [this](const std::string& said) { Say(said); }, 0,
        m_setup.waitingCode);
    m_panel.AttachObserver(this);
    connect(&m_panel, &CScalePanelDlg::keySent, this, [this](std::uint8_t byte) {
        if (const auto key = scale_link::KeyOfPanelByte(byte))
            Note("key",
                 std::string(scale::families::KeyName(key->key)) + (key->twice ? " double" : ""));
    });
    if (!m_panel.IsShownClosed())
        OnPortState(m_panel.PortStateOf(scale::PortState::Change::kOpened));
    connect(&m_flush, &QTimer::timeout, this, &PanelRecord::Flush);
    m_flush.start(std::chrono::seconds(1));
}

PanelRecord::~PanelRecord() {
    m_panel.DetachObserver(this);
    // The stop event, and what still waits for the database said on standard error.
    const int status = m_sink->Finish(0);
    if (m_setup.ended)
        m_setup.ended(status);
}

bool PanelRecord::Take(const record::Captured& captured) {
    m_lastSeq.reset();
    if (m_scale.empty())
        return false;
    // The capture point names no scale: the record's name for the port goes with the weighing.
    const record::Captured named(captured.Reading(), m_scale);
    if (!m_sink->Take(named))
        return false;
    m_lastSeq = named.Record();
    captured.SetRecord(*m_lastSeq);
    return true;
}

void PanelRecord::OnPortState(const scale::PortState& state) {
    using Change = scale::PortState::Change;
    if (state.change == Change::kLost && !m_scale.empty()) {
        m_lost = true;
        m_sink->Note("port lost", "");
        return;
    }
    if (state.change != Change::kOpened)
        return;
    const std::string scale = m_setup.scaleId(state.port);
    const std::string port = state.name.empty() ? record::PortName(state.port) : state.name;
    if (scale == m_scale) {
        m_sink->Note(std::exchange(m_lost, false) ? "port back" : "port opened", port);
        return;
    }
    // Another scale: its own chain, begun as the first was.
    if (!m_scale.empty())
        m_sink->Note("stop", "another scale on " + port);
    m_scale = scale;
    m_lost = false;
    m_sink->Begin(scale, "reading " + port + (state.device.empty() ? "" : " " + state.device));
    if (m_setup.rules && m_setup.rules->check)
        m_sink->Note("check", record::RuleArgument(*m_setup.rules->check));
}

void PanelRecord::Note(std::string_view kind, std::string detail) {
    m_sink->Note(kind, std::move(detail));
}

std::uint64_t PanelRecord::Flush() {
    const std::uint64_t waiting = m_sink->Flush();
    if (waiting != m_waiting)
        ShowWaiting(waiting);
    return waiting;
}

void PanelRecord::Say(const std::string& message) {
    std::fprintf(stderr, "Karvel: %s\n", message.c_str());
    ShowTrouble(kFailed, QString::fromStdString(message));
}

void PanelRecord::ShowTrouble(const char* source, const QString& text) {
    SetTroubleLine(m_panel.StatusLine(), source, text);
    SetTroubleLine(m_panel.Lamp(), source, text);
}

void PanelRecord::ShowWaiting(std::uint64_t waiting) {
    m_waiting = waiting;
    // What made rows wait is over once none does.
    if (waiting == 0)
        ShowTrouble(kFailed, {});
    const QString text =
        waiting == 0 ? QString()
                     : tr("%L1 weighings and events wait for the record's database").arg(waiting);
    ShowTrouble(kWaiting, text);
}
