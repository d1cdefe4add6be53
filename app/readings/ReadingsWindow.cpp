#include "app/readings/ReadingsWindow.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineSeries>
#include <QMenu>
#include <QMessageBox>
#include <QPen>
#include <QScatterSeries>
#include <QShortcut>
#include <QValueAxis>

#include <algorithm>
#include <optional>

#include "app/readings/ReadingsModel.h"
#include "app/readings/Recorder.h"
#include "app/readings/Ticks.h"
#include "app/readings/Trend.h"
#include "record/LogFile.h"

namespace {

// The plot and the statistics follow the stream once a second: drawing the chart is the
// window's main cost at 80 frames a second.
constexpr int kRefreshMs = 1000;
// Lines drawn at most: the latest runs, when the port came and went or the unit changed often.
constexpr std::size_t kMostRuns = 16;
constexpr record::CaptureRule kRules[] = {
    record::CaptureRule::kSettled, record::CaptureRule::kSettledAll, record::CaptureRule::kData,
    record::CaptureRule::kChange, record::CaptureRule::kEvery};
const char* const kRuleHelp[] = {
    "A new weight with the stable indicator lit, not the empty pan",
    "A new weight with the stable indicator lit, the empty pan too",
    "The scale's data-sent indicator lights (DATA pressed)",
    "The reading differs from the previous frame's",
    "Every frame",
};

QString Name(record::CaptureRule rule) {
    const std::string_view name = record::RuleName(rule);
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

}  // namespace

ReadingsWindow::ReadingsWindow(ReadingsModel& model, Recorder& recorder, const Trend& trend,
                               QWidget* parent)
    : QWidget(parent, Qt::Window), m_model(model), m_recorder(recorder), m_trend(trend) {
    setWindowTitle(tr("Karvel readings"));
    setAccessibleName(tr("Karvel readings"));
    auto* layout = new QVBoxLayout(this);  // owned by the window, as is every child below

    auto* top = new QHBoxLayout;
    auto* ruleLabel = new QLabel(tr("&Capture by:"));
    ruleLabel->setBuddy(&m_rule);
    for (std::size_t i = 0; i < std::size(kRules); ++i) {
        m_rule.addItem(Name(kRules[i]));
        m_rule.setItemData(static_cast<int>(i), tr(kRuleHelp[i]), Qt::ToolTipRole);
    }
    m_rule.setCurrentIndex(static_cast<int>(
        std::find(std::begin(kRules), std::end(kRules), m_recorder.Rule()) - std::begin(kRules)));
    m_rule.setAccessibleName(tr("Capture by"));
    m_rule.setAccessibleDescription(
        tr("settled, settled-all, data, change or every: which readings are kept from now on"));
    top->addWidget(ruleLabel);
    top->addWidget(&m_rule);
    top->addStretch();
    layout->addLayout(top);

    m_table.setModel(&m_model);
    m_table.setAccessibleName(tr("Captured readings"));
    m_table.setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table.setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table.setAlternatingRowColors(true);
    // Tab goes on to the next control; the arrows move within the table.
    m_table.setTabKeyNavigation(false);
    m_table.verticalHeader()->setVisible(false);
    // Fixed rows: the view never measures a working day's rows one by one.
    m_table.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table.verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_table.horizontalHeader()->setStretchLastSection(true);
    m_table.setColumnWidth(
        0, fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00:00.000  ")));
    m_table.setColumnHidden(ReadingsModel::kRecord, true);
    m_table.setAccessibleDescription(
        tr("The latest captured readings, at most %L1").arg(ReadingsModel::kMaxRows));
    layout->addWidget(&m_table, 3);
    m_leftNote.setWordWrap(true);
    m_leftNote.setAccessibleName(tr("Readings that left the window"));
    m_leftNote.hide();
    layout->addWidget(&m_leftNote);

    m_statistics.setWordWrap(true);
    m_statistics.setAccessibleName(tr("Statistics"));
    m_statistics.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_statistics.setFocusPolicy(Qt::StrongFocus);
    layout->addWidget(&m_statistics);
    layout->addWidget(MakeChart(), 2);
    layout->addLayout(MakeButtons());
    ConnectControls();
    m_refresh.setInterval(kRefreshMs);
    m_choosePath = [](QWidget* owner, const QString& caption, const QString& name,
                      const QString& filter) {
        return QFileDialog::getSaveFileName(owner, caption, name, filter);
    };
    resize(760, 620);
    Refresh();
}

ReadingsWindow::~ReadingsWindow() = default;

void ReadingsWindow::ShowRecordColumn(bool shown) {
    m_table.setColumnHidden(ReadingsModel::kRecord, !shown);
}

void ReadingsWindow::AddMenuAction(QAction* action) {
    action->setParent(this);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    addAction(action);
}

void ReadingsWindow::AddSection(QWidget* section) {
    auto* column = static_cast<QVBoxLayout*>(layout());
    column->insertWidget(column->count() - 1, section);
}

QWidget* ReadingsWindow::MakeChart() {
    m_chart = new QChart;  // owned by the view
    m_chart->legend()->hide();
    m_chart->setMargins(QMargins(4, 4, 4, 4));
    m_chart->setTitle(tr("Live weight"));
    m_timeAxis = new QDateTimeAxis;  // the series and axes are owned by the chart
    m_timeAxis->setFormat(QStringLiteral("HH:mm:ss"));
    m_valueAxis = new QValueAxis;
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
    m_chart->addAxis(m_valueAxis, Qt::AlignLeft);
    // Every line before the marks: a series is drawn over those added before it.
    LineAt(kMostRuns - 1);
    m_marks = new QScatterSeries;
    m_marks->setName(tr("Captured"));
    // Squares without an outline: a circle is drawn as curves, a square as one filled rectangle.
    m_marks->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    m_marks->setMarkerSize(6);
    m_marks->setPen(Qt::NoPen);
    m_chart->addSeries(m_marks);
    m_marks->attachAxis(m_timeAxis);
    m_marks->attachAxis(m_valueAxis);
    m_chartView = new QChartView(m_chart, this);
    // Aliased lines are cheaper to draw, and the plot is redrawn every second.
    m_chartView->setRenderHint(QPainter::Antialiasing, false);
    m_chartView->setMinimumHeight(180);
    m_chartView->setAccessibleName(tr("Trend of the live weight over the last ten minutes"));
    return m_chartView;
}

QLineSeries* ReadingsWindow::LineAt(std::size_t run) {
    while (m_lines.size() <= run) {
        auto* line = new QLineSeries;  // owned by the chart
        line->setName(tr("Weight"));
        // A one-pixel pen is drawn as plain lines; a wider one is stroked as outlines, point by
        // point, which costs most of a refresh. One colour for every run: they are one weight.
        QPen pen = m_lines.empty() ? line->pen() : m_lines.front()->pen();
        pen.setWidth(1);
        pen.setCosmetic(true);
        line->setPen(pen);
        m_chart->addSeries(line);
        line->attachAxis(m_timeAxis);
        line->attachAxis(m_valueAxis);
        m_lines.push_back(line);
    }
    return m_lines[run];
}

QLayout* ReadingsWindow::MakeButtons() {
    auto* buttons = new QHBoxLayout;
    m_export.setText(tr("&Export CSV"));
    auto* menu = new QMenu(&m_export);  // owned by the button
    menu->addAction(tr("&All readings..."), this, [this] { ChooseExport(false, false); });
    menu->addAction(tr("&Selected readings..."), this, [this] { ChooseExport(true, false); });
    m_export.setMenu(menu);
    m_exportSheet.setText(tr("Export &spreadsheet..."));
    m_exportSheet.setToolTip(
        tr("An .xlsx file: numbers as numbers, times as date-times (UTC), whatever the locale"));
    auto* sheetMenu = new QMenu(&m_exportSheet);  // owned by the button
    sheetMenu->addAction(tr("&All readings..."), this, [this] { ChooseExport(false, true); });
    sheetMenu->addAction(tr("&Selected readings..."), this, [this] { ChooseExport(true, true); });
    m_exportSheet.setMenu(sheetMenu);
    m_copy.setText(tr("C&opy"));
    m_copy.setToolTip(tr("The selected readings (or all) as tab-separated text"));
    m_clear.setText(tr("C&lear"));
    m_close.setText(tr("Close"));
    for (QPushButton* button : {&m_export, &m_exportSheet, &m_copy, &m_clear}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    buttons->addStretch();
    m_close.setAutoDefault(false);
    buttons->addWidget(&m_close);
    return buttons;
}

void ReadingsWindow::ConnectControls() {
    connect(&m_rule, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < static_cast<int>(std::size(kRules)))
            m_recorder.SetRule(kRules[index]);
    });
    connect(&m_copy, &QPushButton::clicked, this, &ReadingsWindow::CopyRows);
    connect(&m_clear, &QPushButton::clicked, this, &ReadingsWindow::ClearRows);
    connect(&m_close, &QPushButton::clicked, this, &QWidget::close);
    auto* copy = new QShortcut(QKeySequence::Copy, &m_table);  // owned by the table
    copy->setContext(Qt::WidgetShortcut);
    connect(copy, &QShortcut::activated, this, &ReadingsWindow::CopyRows);
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);  // owned by the window
    connect(close, &QShortcut::activated, this, &QWidget::close);
    // At once: the user is looking at what was just selected.
    connect(m_table.selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ReadingsWindow::ShowStatistics);
    connect(&m_model, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const int last = m_model.rowCount() - 1;
        m_followEnd = last < 0 || m_table.rowAt(m_table.viewport()->height() - 1) < 0 ||
                      m_table.rowAt(m_table.viewport()->height() - 1) >= last;
    });
    connect(&m_model, &QAbstractItemModel::rowsInserted, this, [this] {
        // New rows change the statistics of all rows, not those of a selection.
        if (!m_table.selectionModel()->hasSelection())
            m_statisticsStale = true;
        if (m_followEnd && isVisible())
            m_table.scrollToBottom();
    });
    connect(&m_model, &QAbstractItemModel::modelReset, this, [this] {
        m_statisticsStale = true;
        m_leftNote.hide();
    });
    connect(&m_model, &ReadingsModel::rowsLeft, this, [this](int, std::uint64_t total) {
        m_statisticsStale = true;
        m_leftNote.setText(tr("This window holds the latest %L1 readings at most: %L2 older ones "
                              "have left it (a --log file keeps every reading).")
                               .arg(ReadingsModel::kMaxRows)
                               .arg(total));
        m_leftNote.show();
    });
    connect(&m_refresh, &QTimer::timeout, this, &ReadingsWindow::Refresh);
}

void ReadingsWindow::showEvent(QShowEvent* event) {
    Refresh();
    m_refresh.start();
    QWidget::showEvent(event);
}

void ReadingsWindow::hideEvent(QHideEvent* event) {
    // Nothing is drawn or summed for a window nobody sees.
    m_refresh.stop();
    QWidget::hideEvent(event);
}

void ReadingsWindow::Refresh() {
    m_model.Publish();
    PlotTrend();
    if (m_statisticsStale)
        ShowStatistics();
}

std::vector<int> ReadingsWindow::ChosenRows(bool allWhenNone) const {
    std::vector<int> rows;
    for (const QModelIndex& index : m_table.selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    if (rows.empty() && allWhenNone)
        return m_model.AllRows();
    return rows;
}

void ReadingsWindow::ShowStatistics() {
    m_statisticsStale = false;
    const std::vector<int> rows = ChosenRows(false);
    if (rows.empty() && m_model.rowCount() == 0) {
        m_statistics.setText(tr("No readings captured yet."));
        return;
    }
    std::string text;
    if (rows.empty()) {
        text = StatisticsText(m_model.AllStatistics(), "");
    } else {
        std::vector<Measured> measured;
        measured.reserve(rows.size());
        for (const int row : rows)
            measured.push_back(m_model.MeasuredAt(row));
        text = StatisticsText(Summarize(measured), "selected");
    }
    const QString shown = QString::fromStdString(text);
    m_statistics.setText(shown);
    m_statistics.setAccessibleDescription(shown);
}

void ReadingsWindow::PlotTrend() {
    // The axis is the latest value's unit; points of another drawn on it would lie. A run of
    // one series is one line, so nothing joins one unit to another or bridges a closed port.
    const std::vector<Trend::Point> line = m_trend.Line();
    const std::string unit = line.empty() ? std::string() : m_trend.UnitOf(line.back().series);
    std::optional<std::uint32_t> judged;
    bool judgedSame = false;
    const auto inUnit = [&](const Trend::Point& p) {
        if (p.series != judged) {
            judged = p.series;
            judgedSame = m_trend.UnitOf(p.series) == unit;
        }
        return judgedSame;
    };
    std::vector<QList<QPointF>> runs;
    std::uint32_t run = 0;
    for (const Trend::Point& p : line) {
        if (!inUnit(p))
            continue;
        if (runs.empty() || p.series != run)
            runs.emplace_back();
        run = p.series;
        runs.back().append(QPointF(static_cast<qreal>(p.ms), p.value));
    }
    if (runs.size() > kMostRuns)
        runs.erase(runs.begin(), runs.end() - static_cast<std::ptrdiff_t>(kMostRuns));
    double low = 0;
    double high = 0;
    bool any = false;
    for (std::size_t i = 0; i < std::max(runs.size(), m_lines.size()); ++i) {
        if (i >= runs.size()) {
            m_lines[i]->clear();
            continue;
        }
        for (const QPointF& p : runs[i]) {
            low = any ? std::min(low, p.y()) : p.y();
            high = any ? std::max(high, p.y()) : p.y();
            any = true;
        }
        LineAt(i)->replace(runs[i]);
    }
    QList<QPointF> marks;
    for (const Trend::Point& p : m_trend.Captures()) {
        if (inUnit(p))
            marks.append(QPointF(static_cast<qreal>(p.ms), p.value));
    }
    m_marks->replace(marks);
    const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
    const std::int64_t first = line.empty() ? now - 60000 : std::min(line.front().ms, now - 60000);
    const std::int64_t last = line.empty() ? now : std::max(line.back().ms, first + 1000);
    const TimeTicks times = ClockTicks(first, last);
    m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(times.first),
                         QDateTime::fromMSecsSinceEpoch(times.last));
    m_timeAxis->setTickCount(times.count);
    const int most = MostValueTicks();
    const Ticks values = any ? ValueTicks(low, high, most) : ValueTicks(0, 1, most);
    m_valueAxis->setRange(values.low, values.high);
    m_valueAxis->setTickCount(values.count);
    m_valueAxis->setLabelFormat(QStringLiteral("%.%1f").arg(values.decimals));
    m_valueAxis->setTitleText(QString::fromStdString(unit));
    m_chartView->setAccessibleDescription(line.empty()
                                              ? tr("No weight yet")
                                              : tr("Latest weight %1 %2; %3 captured points marked")
                                                    .arg(line.back().value)
                                                    .arg(QString::fromStdString(unit))
                                                    .arg(marks.size()));
}

int ReadingsWindow::MostValueTicks() const {
    // A label taller than its share of the axis is drawn as "...": no more ticks than there is
    // room for, with a little air between the labels.
    constexpr int kMost = 7;
    const qreal height = m_chart->plotArea().height();
    const int row = QFontMetrics(m_valueAxis->labelsFont()).height() + 6;
    if (height <= 0)
        return kMost;
    return std::clamp(static_cast<int>(height / row) + 1, 2, kMost);
}

std::vector<QList<QPointF>> ReadingsWindow::PlottedLines() const {
    std::vector<QList<QPointF>> lines;
    for (const QLineSeries* line : m_lines) {
        if (line->count() > 0)
            lines.push_back(line->points());
    }
    return lines;
}

QString ReadingsWindow::ValueAxisTitle() const {
    return m_valueAxis->titleText();
}

std::vector<double> ReadingsWindow::ValueTicksShown() const {
    std::vector<double> ticks;
    const int count = m_valueAxis->tickCount();
    for (int i = 0; i < count; ++i)
        ticks.push_back(m_valueAxis->min() +
                        (m_valueAxis->max() - m_valueAxis->min()) * i / (count - 1));
    return ticks;
}

namespace {

QString Local(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

bool ReadingsWindow::ExportCsv(const QString& path, bool selectedOnly, QString* error) const {
    if (!selectedOnly)
        m_model.Publish();
    const std::vector<int> rows = selectedOnly ? ChosenRows(false) : m_model.AllRows();
    std::string why;
    if (!record::ReplaceWhole(QFile::encodeName(path).toStdString(), m_model.Csv(rows, m_dialect),
                              &why)) {
        *error = Local(why);
        return false;
    }
    m_model.MarkSaved(rows);
    return true;
}

bool ReadingsWindow::ExportSheet(const QString& path, bool selectedOnly, QString* error) const {
    if (!selectedOnly)
        m_model.Publish();
    const std::vector<int> rows = selectedOnly ? ChosenRows(false) : m_model.AllRows();
    std::string why;
    if (!m_model.WriteSheet(QFile::encodeName(path).toStdString(), rows, &why)) {
        *error = Local(why);
        return false;
    }
    m_model.MarkSaved(rows);
    return true;
}

bool ReadingsWindow::SaveAllAsSheet() {
    return ChooseExport(false, true);
}

bool ReadingsWindow::ChooseExport(bool selectedOnly, bool sheet) {
    if (selectedOnly && ChosenRows(false).empty()) {
        QMessageBox::information(this, windowTitle(), tr("No reading is selected."));
        return false;
    }
    const QString caption =
        selectedOnly ? tr("Export the selected readings") : tr("Export all readings");
    const QString path = sheet ? m_choosePath(this, caption, QStringLiteral("readings.xlsx"),
                                              tr("Spreadsheets (*.xlsx);;All files (*)"))
                               : m_choosePath(this, caption, QStringLiteral("readings.csv"),
                                              tr("CSV files (*.csv);;All files (*)"));
    if (path.isEmpty())
        return false;
    QString error;
    if (sheet ? ExportSheet(path, selectedOnly, &error) : ExportCsv(path, selectedOnly, &error))
        return true;
    QMessageBox::warning(this, windowTitle(),
                         tr("The readings could not be written to %1: %2").arg(path, error));
    return false;
}

void ReadingsWindow::CopyRows() const {
    if (ChosenRows(false).empty())
        m_model.Publish();
    QApplication::clipboard()->setText(m_model.TabSeparated(ChosenRows(true), m_dialect));
}

void ReadingsWindow::ClearRows() {
    if (m_model.rowCount() == 0)
        return;
    const auto answer = QMessageBox::question(
        this, windowTitle(),
        tr("Remove all %1 readings from this window? A log file is not changed.")
            .arg(m_model.rowCount()));
    if (answer == QMessageBox::Yes)
        m_model.Clear();
}
