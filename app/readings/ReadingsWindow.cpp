#include "app/readings/ReadingsWindow.h"

#include <QApplication>
#include <QBoxLayout>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFileDialog>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineSeries>
#include <QMenu>
#include <QMessageBox>
#include <QPen>
#include <QSaveFile>
#include <QScatterSeries>
#include <QShortcut>
#include <QValueAxis>

#include <algorithm>

#include "app/readings/ReadingsModel.h"
#include "app/readings/Recorder.h"
#include "app/readings/Trend.h"

namespace {

// The plot and the statistics follow the stream once a second: drawing the chart is the
// window's main cost at 80 frames a second.
constexpr int kRefreshMs = 1000;
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
    m_table.verticalHeader()->setVisible(false);
    // Fixed rows: the view never measures a working day's rows one by one.
    m_table.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table.verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_table.horizontalHeader()->setStretchLastSection(true);
    m_table.setColumnWidth(
        0, fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00:00.000  ")));
    layout->addWidget(&m_table, 3);

    m_statistics.setWordWrap(true);
    m_statistics.setAccessibleName(tr("Statistics"));
    m_statistics.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_statistics.setFocusPolicy(Qt::StrongFocus);
    layout->addWidget(&m_statistics);
    layout->addWidget(MakeChart(), 2);
    layout->addLayout(MakeButtons());
    ConnectControls();
    m_refresh.setInterval(kRefreshMs);
    resize(760, 620);
    Refresh();
}

ReadingsWindow::~ReadingsWindow() = default;

QWidget* ReadingsWindow::MakeChart() {
    auto* chart = new QChart;  // owned by the view
    chart->legend()->hide();
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->setTitle(tr("Live weight"));
    m_line = new QLineSeries;  // the series and axes are owned by the chart
    m_line->setName(tr("Weight"));
    // A one-pixel pen is drawn as plain lines; a wider one is stroked as outlines, point by
    // point, which costs most of a refresh.
    QPen pen = m_line->pen();
    pen.setWidth(1);
    pen.setCosmetic(true);
    m_line->setPen(pen);
    m_marks = new QScatterSeries;
    m_marks->setName(tr("Captured"));
    // Squares without an outline: a circle is drawn as curves, a square as one filled rectangle.
    m_marks->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    m_marks->setMarkerSize(6);
    m_marks->setPen(Qt::NoPen);
    chart->addSeries(m_line);
    chart->addSeries(m_marks);
    m_timeAxis = new QDateTimeAxis;
    m_timeAxis->setFormat(QStringLiteral("HH:mm:ss"));
    m_timeAxis->setTickCount(6);
    m_valueAxis = new QValueAxis;
    chart->addAxis(m_timeAxis, Qt::AlignBottom);
    chart->addAxis(m_valueAxis, Qt::AlignLeft);
    for (QAbstractSeries* series :
         {static_cast<QAbstractSeries*>(m_line), static_cast<QAbstractSeries*>(m_marks)}) {
        series->attachAxis(m_timeAxis);
        series->attachAxis(m_valueAxis);
    }
    m_chartView = new QChartView(chart, this);
    // Aliased lines are cheaper to draw, and the plot is redrawn every second.
    m_chartView->setRenderHint(QPainter::Antialiasing, false);
    m_chartView->setMinimumHeight(180);
    m_chartView->setAccessibleName(tr("Trend of the live weight over the last ten minutes"));
    return m_chartView;
}

QLayout* ReadingsWindow::MakeButtons() {
    auto* buttons = new QHBoxLayout;
    m_export.setText(tr("&Export CSV"));
    auto* menu = new QMenu(&m_export);  // owned by the button
    menu->addAction(tr("&All readings..."), this, [this] { ChooseExport(false); });
    menu->addAction(tr("&Selected readings..."), this, [this] { ChooseExport(true); });
    m_export.setMenu(menu);
    m_copy.setText(tr("C&opy"));
    m_copy.setToolTip(tr("The selected readings (or all) as tab-separated text"));
    m_clear.setText(tr("C&lear"));
    m_close.setText(tr("Close"));
    for (QPushButton* button : {&m_export, &m_copy, &m_clear}) {
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
    connect(m_table.selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { m_statisticsStale = true; });
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
    connect(&m_model, &QAbstractItemModel::modelReset, this, [this] { m_statisticsStale = true; });
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
    const std::vector<Trend::Point> line = m_trend.Line();
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(line.size()));
    double low = 0;
    double high = 0;
    for (const Trend::Point& p : line) {
        low = points.isEmpty() ? p.value : std::min(low, p.value);
        high = points.isEmpty() ? p.value : std::max(high, p.value);
        points.append(QPointF(static_cast<qreal>(p.ms), p.value));
    }
    QList<QPointF> marks;
    for (const Trend::Point& p : m_trend.Captures())
        marks.append(QPointF(static_cast<qreal>(p.ms), p.value));
    m_line->replace(points);
    m_marks->replace(marks);
    const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
    const std::int64_t first = line.empty() ? now - 60000 : std::min(line.front().ms, now - 60000);
    const std::int64_t last = line.empty() ? now : std::max(line.back().ms, first + 1000);
    m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(first),
                         QDateTime::fromMSecsSinceEpoch(last));
    const double pad = std::max((high - low) * 0.05, 0.01);
    m_valueAxis->setRange(low - pad, high + pad);
    m_chartView->setAccessibleDescription(line.empty()
                                              ? tr("No weight yet")
                                              : tr("Latest weight %1; %2 captured points marked")
                                                    .arg(line.back().value)
                                                    .arg(marks.size()));
}

bool ReadingsWindow::ExportCsv(const QString& path, bool selectedOnly, QString* error) const {
    if (!selectedOnly)
        m_model.Publish();
    const std::vector<int> rows = selectedOnly ? ChosenRows(false) : m_model.AllRows();
    const std::string csv = m_model.Csv(rows);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(csv.data(), static_cast<qint64>(csv.size())) !=
            static_cast<qint64>(csv.size()) ||
        !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

void ReadingsWindow::ChooseExport(bool selectedOnly) {
    if (selectedOnly && ChosenRows(false).empty()) {
        QMessageBox::information(this, windowTitle(), tr("No reading is selected."));
        return;
    }
    const QString path = QFileDialog::getSaveFileName(
        this, selectedOnly ? tr("Export the selected readings") : tr("Export all readings"),
        QStringLiteral("readings.csv"), tr("CSV files (*.csv);;All files (*)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!ExportCsv(path, selectedOnly, &error))
        QMessageBox::warning(this, windowTitle(),
                             tr("The readings could not be written to %1: %2").arg(path, error));
}

void ReadingsWindow::CopyRows() const {
    if (ChosenRows(false).empty())
        m_model.Publish();
    QApplication::clipboard()->setText(m_model.TabSeparated(ChosenRows(true)));
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
