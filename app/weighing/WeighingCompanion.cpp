#include "app/weighing/WeighingCompanion.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>

#include <algorithm>
#include <cstdio>
#include <utility>

#include "app/CScalePanelDlg.h"
#include "app/readings/PanelCapture.h"
#include "app/readout/CLargeReadout.h"

namespace {

struct VerdictLook {
    const char* word;
    QColor background;
    QColor text;
};

VerdictLook LookOf(record::Verdict verdict) {
    switch (verdict) {
        case record::Verdict::kUnder:
            return {"UNDER", QColor(255, 176, 0), Qt::black};
        case record::Verdict::kOk:
            return {"OK", QColor(0, 120, 0), Qt::white};
        case record::Verdict::kOver:
            return {"OVER", QColor(176, 0, 0), Qt::white};
    }
    return {"", Qt::black, Qt::white};
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// "0.502 kg".
QString WeightText(const scale::Reading& reading) {
    return Q(reading.text + (reading.unit.empty() ? "" : " " + reading.unit));
}

// "+2.001 g": a deviation with its sign, in its unit.
QString DeviationText(const record::CheckResult& check) {
    const bool negative = check.deviation.starts_with('-');
    const bool zero = check.deviation.find_first_not_of("-0.") == std::string::npos;
    return Q((negative || zero ? "" : "+") + check.deviation +
             (check.unit.empty() ? "" : " " + check.unit));
}

// The pan is empty, or shows no weight at all: a verdict of the last load no longer stands.
bool Unloaded(const scale::Reading& reading) {
    return !reading.number || reading.indicators.zero || reading.number->value == 0;
}

}  // namespace

WeighingCompanion::WeighingCompanion(CScalePanelDlg& panel, Setup setup, QObject* parent)
    : QObject(parent),
      m_panel(panel),
      m_setup(std::move(setup)),
      m_rules(m_setup.rules ? m_setup.rules
                            : std::make_shared<record::WeighingRules>(m_setup.options.rules)),
      m_piecesBeside(panel),
      m_ticket({m_setup.options, m_setup.stateFolder, m_rules, [this] { return ScaleId(); },
                [this](const QString& message) { Say(message); }}) {
    AddMenu();
    if (!m_setup.capture)
        m_ownCapture =
            std::make_unique<PanelCapture>(m_panel, m_setup.rule, m_setup.minWeight, m_rules);
    Recorder& capture = m_setup.capture ? *m_setup.capture : m_ownCapture->Get();
    capture.AddSink(std::make_unique<record::LentSink>(*this));
    capture.AddSink(std::make_unique<record::LentSink>(m_ticket));
    // After the capture point: a frame it captured has been shown by Take when we are told of it.
    m_panel.AttachObserver(this);
    if (!m_panel.IsShownClosed())
        OnPortState(m_panel.PortStateOf(scale::PortState::Change::kOpened));
}

WeighingCompanion::~WeighingCompanion() {
    m_ownCapture.reset();
    m_panel.DetachObserver(this);
}

void WeighingCompanion::AddMenu() {
    QMenu& menu = m_panel.SystemMenu();
    menu.addSeparator();
    QAction* count = menu.addAction(tr("Count pieces..."));
    connect(count, &QAction::triggered, this, [this] {
        bool ok = false;
        const int size =
            QInputDialog::getInt(&m_panel, tr("Count pieces"), tr("Pieces in the sample:"),
                                 m_rules->sampleSize, 1, 100000, 1, &ok);
        if (ok)
            StartCounting(size);
    });
    QAction* sample = menu.addAction(tr("Sample"));
    const QKeySequence sampleKeys(Qt::CTRL | Qt::Key_M);
    sample->setShortcut(sampleKeys);
    connect(sample, &QAction::triggered, this, &WeighingCompanion::TakeSample);
    connect(new QShortcut(sampleKeys, &m_panel), &QShortcut::activated, this,
            &WeighingCompanion::TakeSample);  // owned by the panel
    QAction* print = menu.addAction(tr("Print ticket"));
    print->setShortcut(QKeySequence::Print);
    connect(print, &QAction::triggered, this, &WeighingCompanion::PrintLast);
    connect(new QShortcut(QKeySequence::Print, &m_panel), &QShortcut::activated, this,
            &WeighingCompanion::PrintLast);  // owned by the panel
}

void WeighingCompanion::OnPortState(const scale::PortState& state) {
    m_port = state.change == scale::PortState::Change::kOpened ? state.port : 0;
}

void WeighingCompanion::OnFrame(const scale::Frame& frame) {
    if (std::exchange(m_justCaptured, false) || m_port == 0)
        return;
    m_shown = scale::Read(frame.values);
    if (m_rules->check || m_rules->sample)
        ShowBand();
}

bool WeighingCompanion::Take(const record::Captured& captured) {
    m_justCaptured = true;
    m_lastRecord = captured.Record();
    m_shown = scale::Read(captured.Reading().values);
    Captured(captured.Reading());
    return true;
}

void WeighingCompanion::Captured(const record::CapturedReading& reading) {
    m_last = reading;
    ShowBand();
    if (reading.check) {
        const VerdictLook look = LookOf(reading.check->verdict);
        SayOnStatus(QStringLiteral("%1 %2 (%3)")
                        .arg(QLatin1String(look.word), WeightText(reading.reading),
                             DeviationText(*reading.check)));
        if (m_setup.options.checkSound && reading.check->verdict != record::Verdict::kOk)
            QApplication::beep();
    }
    if (m_rules->check) {
        m_tally.Add(reading);
        if (m_tallyShown)
            m_tallyShown->setText(Q(m_tally.Text()));
    }
    emit checked(reading);
}

void WeighingCompanion::ShowBand() {
    ReadoutBand band;
    const bool loaded = m_shown && !Unloaded(*m_shown);
    std::optional<record::PieceCount> pieces;
    if (m_rules->sample && m_shown)
        pieces = record::CountOf(*m_rules->sample, *m_shown);
    if (m_last && m_last->check && loaded) {
        const VerdictLook look = LookOf(m_last->check->verdict);
        band.word = QLatin1String(look.word);
        band.background = look.background;
        band.text = look.text;
        band.detail = DeviationText(*m_last->check);
        band.spoken = QStringLiteral("%1: %2 settled, deviation %3")
                          .arg(band.word, WeightText(m_last->reading), band.detail);
    }
    if (!pieces)
        m_piecesBeside.Clear();
    if (pieces) {
        const QString count = QStringLiteral("%1 pcs").arg(Q(pieces->pieces));
        m_piecesBeside.Show(count, WeightText(*m_shown));
        const QString weight =
            QStringLiteral("%1, one piece %2 %3")
                .arg(WeightText(*m_shown), Q(pieces->unitWeight), Q(pieces->unit));
        if (band.word.isEmpty()) {
            band.word = count;
            band.background = QColor(0, 60, 120);
            band.text = Qt::white;
            band.detail = weight;
            band.spoken = count + QStringLiteral(", ") + weight;
        } else {
            band.detail += QStringLiteral("   ") + count;
            band.spoken += QStringLiteral(", ") + count;
        }
    }
    m_panel.ReadingAccess().ShowBand(band);
}

void WeighingCompanion::StartCounting(int sampleSize) {
    m_rules->countPieces = true;
    m_rules->sampleSize = sampleSize;
    m_rules->sample.reset();
    SayOnStatus(tr("Put %1 pieces on the pan, then Sample (Ctrl+M)").arg(sampleSize));
    ShowBand();
}

void WeighingCompanion::TakeSample() {
    if (!m_rules->countPieces)
        StartCounting(m_rules->sampleSize);
    if (!m_shown || !m_shown->indicators.stable) {
        Say(tr("Sample refused: the weight is not settled"));
        return;
    }
    std::string refusal;
    auto sample = record::TakeSample(*m_shown, m_rules->sampleSize, &refusal);
    if (!sample) {
        Say(tr("Sample refused: %1").arg(Q(refusal)));
        return;
    }
    m_rules->sample = std::move(sample);
    emit noted("sample", std::to_string(m_rules->sampleSize) + " pieces weigh " + m_shown->text +
                             " " + m_shown->unit);
    QString said = tr("Sample: %1 pieces weigh %2, one piece %3 %4")
                       .arg(m_rules->sampleSize)
                       .arg(WeightText(*m_shown), Q(record::UnitWeightText(*m_rules->sample)),
                            Q(m_shown->unit));
    if (m_rules->sample->light)
        said += tr("; a light sample, under %1 display steps: counts may be off")
                    .arg(record::kLightSampleSteps);
    SayOnStatus(said);
    ShowBand();
}

void WeighingCompanion::SetCheck(std::optional<record::CheckRule> rule) {
    m_rules->check = std::move(rule);
    emit noted("check", m_rules->check ? record::RuleArgument(*m_rules->check) : "none");
    m_tally = {};
    if (m_tallyShown)
        m_tallyShown->setText(Q(m_tally.Text()));
    if (m_last)
        m_last->check.reset();
    ShowBand();
}

QWidget* WeighingCompanion::MakeCheckSection() {
    auto* section = new QGroupBox(tr("Check"));  // owned by whoever shows it
    auto* row = new QHBoxLayout(section);        // the layout and the controls by the section
    auto* rule = new QLineEdit(section);
    rule->setAccessibleName(tr("Check rule"));
    rule->setPlaceholderText(tr("500g,-2,+5 or 498g,505g; empty: no check"));
    if (m_rules->check)
        rule->setText(Q(record::RuleArgument(*m_rules->check)));
    auto* apply = new QPushButton(tr("Apply"), section);
    auto* tally = new QLabel(Q(m_tally.Text()), section);
    tally->setAccessibleName(tr("Check statistics"));
    tally->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    row->addWidget(rule, 1);
    row->addWidget(apply);
    row->addWidget(tally, 2);
    m_tallyShown = tally;
    const auto take = [this, rule, tally] {
        const QByteArray text = rule->text().remove(u' ').toUtf8();
        const std::string_view given(text.constData(), static_cast<std::size_t>(text.size()));
        if (given.empty()) {
            SetCheck(std::nullopt);
            return;
        }
        std::string error;
        const bool limits = std::count(given.begin(), given.end(), ',') == 1;
        auto parsed =
            limits ? record::ParseCheckLimits(given, &error) : record::ParseCheck(given, &error);
        if (!parsed) {
            tally->setText(tr("Not a rule: %1").arg(Q(error)));
            return;
        }
        SetCheck(std::move(parsed));
    };
    connect(apply, &QPushButton::clicked, this, take);
    connect(rule, &QLineEdit::returnPressed, this, take);
    return section;
}

void WeighingCompanion::PrintLast() {
    if (!m_last) {
        Say(tr("No weighing to print yet"));
        return;
    }
    m_ticket.Print(*m_last, true, m_lastRecord);
}

std::string WeighingCompanion::ScaleId() const {
    return PanelScaleId(m_panel, m_setup.scaleId, m_port);
}

void WeighingCompanion::Say(const QString& message) {
    std::fprintf(stderr, "Karvel: %s\n", message.toLocal8Bit().constData());
    SayOnStatus(message);
}

void WeighingCompanion::SayOnStatus(const QString& text) {
    QLabel& status = m_panel.StatusLine();
    // The panel's own text stays in front; what we said last is replaced.
    if (status.text() != m_statusShown)
        m_statusBase = status.text();
    m_statusShown = m_statusBase + QStringLiteral("   ") + text;
    status.setText(m_statusShown);
}
