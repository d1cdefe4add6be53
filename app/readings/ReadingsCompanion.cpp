#include "app/readings/ReadingsCompanion.h"

#include <QAction>
#include <QScreen>
#include <QShortcut>

#include "app/CScalePanelDlg.h"
#include "app/TroubleTip.h"
#include "app/readings/LogWriter.h"
#include "app/readings/PanelCapture.h"
#include "app/readings/PanelRecord.h"
#include "app/readings/Placement.h"
#include "app/readings/ReadingsModel.h"
#include "app/readings/ReadingsWindow.h"
#include "app/readings/Recorder.h"
#include "app/readings/Trend.h"
#include "platform/window/HangUpSignal.h"

ReadingsCompanion::ReadingsCompanion(CScalePanelDlg& panel, const RecordOptions& options,
                                     std::unique_ptr<record::LogFile> log,
                                     std::shared_ptr<const record::WeighingRules> bench)
    : m_panel(panel),
      m_rule(options.Rule()),
      m_minWeight(options.minWeight),
      m_dialect(options.dialect),
      m_bench(std::move(bench)) {
    m_panel.SetEndCheck([this] { return MayEnd(); });
    const QKeySequence keys(Qt::CTRL | Qt::Key_R);
    m_panel.SystemMenu().addSeparator();
    QAction* item = m_panel.SystemMenu().addAction(tr("&Readings..."));
    item->setShortcut(keys);
    connect(item, &QAction::triggered, this, &ReadingsCompanion::ShowWindow);
    auto* shortcut = new QShortcut(keys, &m_panel);  // owned by the panel
    connect(shortcut, &QShortcut::activated, this, &ReadingsCompanion::ShowWindow);
    if (log)
        StartLog(std::move(log));
}

ReadingsCompanion::~ReadingsCompanion() {
    m_panel.SetEndCheck({});
    m_window.reset();
    m_hangUp.reset();
    m_capture.reset();  // detached before the window's model, the record and the log go
    m_record.reset();
}

Recorder& ReadingsCompanion::Capture() {
    if (!m_capture)
        m_capture = std::make_unique<PanelCapture>(m_panel, m_rule, m_minWeight, m_bench);
    return m_capture->Get();
}

void ReadingsCompanion::TakeCapture(std::unique_ptr<PanelCapture> capture) {
    m_capture = std::move(capture);
}

void ReadingsCompanion::StartLog(std::unique_ptr<record::LogFile> log) {
    m_log = std::make_unique<LogWriter>(
        std::move(log), m_dialect,
        m_bench ? m_bench->Columns(record::DefaultCsvColumns()) : record::DefaultCsvColumns());
    Capture().AddSink(std::make_unique<record::LentSink>(*m_log));
    connect(m_log.get(), &LogWriter::problemChanged, this, [this](const QString& problem) {
        SetTroubleLine(m_panel.StatusLine(), "log", problem);
    });
    SetTroubleLine(m_panel.StatusLine(), "log", m_log->Problem());
    connect(m_log.get(), &LogWriter::said, this,
            [this](const QString& line) { m_panel.StatusLine().AddToNote(line); });
    m_hangUp = std::make_unique<window::HangUpSignal>([this] { m_log->Reopen(); });
}

void ReadingsCompanion::KeepRecord(std::unique_ptr<PanelRecord> record) {
    m_record = std::move(record);
    // From the start: the window lists this run's weighings however late it is opened.
    MakeModel();
}

void ReadingsCompanion::MakeModel() {
    if (m_model)
        return;
    Recorder& recorder = Capture();
    m_model = std::make_unique<ReadingsModel>();
    connect(&recorder, &Recorder::captured, m_model.get(),
            [this](const record::CapturedReading& reading) {
                m_model->AppendRecorded(reading, m_record ? m_record->LastSeq() : std::nullopt);
            });
    connect(&recorder, &Recorder::listed, m_model.get(), &ReadingsModel::Append);
}

void ReadingsCompanion::VerifyRecord() {
    const bool started = m_record->Verify([this](const auto& verdict) {
        if (m_verify)
            m_verify->setEnabled(true);
        ShowVerdict(verdict);
    });
    if (started && m_verify)
        m_verify->setEnabled(false);
}

void ReadingsCompanion::ShowVerdict(const posix::Result<record::store::Verdict>& verdict) {
    MessageBoxRequest request;
    request.caption = tr("Karvel record");
    if (!verdict) {
        request.icon = QMessageBox::Critical;
        request.text = tr("The record could not be read.");
        request.detail = QString::fromStdString(verdict.Error().Describe());
    } else {
        const bool intact = verdict->breaks.empty();
        request.icon = intact ? QMessageBox::Information : QMessageBox::Warning;
        request.text = QString::fromStdString(record::store::Summary(*verdict));
        QStringList found;
        for (const record::store::Break& broken : verdict->breaks)
            found << QString::fromStdString(record::store::Describe(broken));
        request.detail = found.join(QLatin1Char('\n'));
    }
    m_panel.Presenter()(m_window ? static_cast<QWidget*>(m_window.get()) : &m_panel, request);
}

void ReadingsCompanion::ShowWindow() {
    if (!m_window) {
        Recorder& recorder = Capture();
        // Without a log or a record nothing was kept before the window: it begins with the load
        // on the pan.
        if (!m_model && !m_log)
            recorder.ListNextAsNew();
        MakeModel();
        m_trend = std::make_unique<Trend>();
        recorder.FeedTrend(m_trend.get());
        m_window = std::make_unique<ReadingsWindow>(*m_model, recorder, *m_trend, &m_panel);
        m_window->SetCsvDialect(m_dialect);
        if (m_section)
            m_window->AddSection(m_section());
        if (m_record) {
            m_window->ShowRecordColumn(true);
            m_verify = new QAction(tr("&Verify record..."));  // owned by the window
            connect(m_verify, &QAction::triggered, this, &ReadingsCompanion::VerifyRecord);
            m_window->AddMenuAction(m_verify);
        }
        // The window manager would put it anywhere, partly off the screen too: beside the panel.
        const QRect outer = m_panel.frameGeometry();
        const QRect inner = m_panel.geometry();
        // Its decorations are not known before it is shown: the panel's are the best guess.
        const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                             outer.right() - inner.right(), outer.bottom() - inner.bottom());
        const QRect placed =
            PlaceBeside(outer, m_window->size(), frame, m_panel.screen()->availableGeometry());
        m_window->resize(placed.size().shrunkBy(frame));
        m_window->move(placed.topLeft());
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

bool ReadingsCompanion::MayEnd() {
    // A log that takes every reading keeps them; one that refuses some (a full disk) does not.
    // The record keeps every weighing it took, and refuses the others to every sink.
    if (!m_model || m_record || (m_log && m_log->Problem().isEmpty()))
        return true;
    m_model->Publish();
    const std::uint64_t unsaved = m_model->Unsaved();
    if (unsaved == 0)
        return true;
    enum { kSave, kDiscard, kCancel };
    int answer = kCancel;
    MessageBoxRequest request;
    request.icon = QMessageBox::Question;
    request.caption = tr("Karvel readings");
    request.text = unsaved == 1
                       ? tr("1 reading in the readings window was neither logged nor exported.")
                       : tr("%L1 readings in the readings window were neither logged nor "
                            "exported.")
                             .arg(unsaved);
    request.detail = tr("Save them as a spreadsheet before Karvel ends?");
    request.choices = {{tr("&Save as spreadsheet..."), QMessageBox::AcceptRole},
                       {tr("&Discard"), QMessageBox::DestructiveRole},
                       {tr("Cancel"), QMessageBox::RejectRole}};
    request.answer = &answer;
    m_panel.Presenter()(&m_panel, request);
    if (answer == kDiscard)
        return true;
    return answer == kSave && m_window->SaveAllAsSheet();
}
