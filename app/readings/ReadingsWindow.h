#pragma once

// The readings window: the captured readings in a table (local time shown, UTC in each time's
// tooltip and in every export), the rule to capture by, statistics of the selected rows or of
// all rows, a plot of the live weight over the last minutes with the captured points marked,
// and Export CSV, Export spreadsheet, Copy and Clear. Every control has an accessible name and is
// reached by Tab.
//
// Thread: UI thread only.

#include <QComboBox>
#include <QLabel>
#include <QList>
#include <QPointF>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

#include "record/Forms.h"

class QAction;
class QChart;
class QChartView;
class QDateTimeAxis;
class QLineSeries;
class QScatterSeries;
class QValueAxis;
class ReadingsModel;
class Recorder;
class Trend;

class ReadingsWindow : public QWidget {
    Q_OBJECT
  public:
    // Shows `model`, sets the rule of `recorder` and plots `trend`; all must outlive it.
    ReadingsWindow(ReadingsModel& model, Recorder& recorder, const Trend& trend,
                   QWidget* parent = nullptr);
    ~ReadingsWindow() override;

    // The selected rows in order; all rows when none is selected and `allWhenNone`.
    std::vector<int> ChosenRows(bool allWhenNone) const;
    // Writes the rows (the selected ones, or all) to `path` as the log writes them, replacing
    // it whole as record::ReplaceWhole does: a link, a FIFO or a device is refused.
    bool ExportCsv(const QString& path, bool selectedOnly, QString* error) const;
    // The same rows as a spreadsheet file (record::SheetWriter), written the same way.
    bool ExportSheet(const QString& path, bool selectedOnly, QString* error) const;
    // All rows as a spreadsheet, to a file the user chooses; true once written.
    bool SaveAllAsSheet();
    void SetCsvDialect(record::CsvDialect dialect) { m_dialect = dialect; }
    // Asks for the file to export to; empty when the user chose none. Tests replace it.
    using PathChooser = std::function<QString(QWidget* parent, const QString& caption,
                                              const QString& name, const QString& filter)>;
    void SetPathChooser(PathChooser choose) { m_choosePath = std::move(choose); }
    void CopyRows() const;
    QString StatisticsShown() const { return m_statistics.text(); }
    // The plot as drawn: the points of each line, the value axis's title and its ticks.
    std::vector<QList<QPointF>> PlottedLines() const;
    QString ValueAxisTitle() const;
    std::vector<double> ValueTicksShown() const;
    // What the window says of the rows that left it; empty while none has.
    QString LeftNote() const { return m_leftNote.isHidden() ? QString() : m_leftNote.text(); }
    QTableView& Table() { return m_table; }
    QComboBox& RuleChoice() { return m_rule; }
    // Puts `section` (a part another feature adds, such as the check's editor) above the
    // buttons; the window owns it from then on.
    void AddSection(QWidget* section);
    // Shows the record's seq of each row, while weighings are recorded.
    void ShowRecordColumn(bool shown);
    // `action` in the window's context menu, which the window owns from then on.
    void AddMenuAction(QAction* action);
    // Brings the plot and the statistics up to date now rather than at the next refresh.
    void Refresh();

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    // As many value ticks as the plot's height has room for, at most the usual 7.
    int MostValueTicks() const;
    QWidget* MakeChart();
    QLayout* MakeButtons();
    void ConnectControls();
    bool ChooseExport(bool selectedOnly, bool sheet);
    void ClearRows();
    void ShowStatistics();
    void PlotTrend();

    ReadingsModel& m_model;
    Recorder& m_recorder;
    const Trend& m_trend;
    QComboBox m_rule;
    QTableView m_table;
    QLabel m_statistics;
    QLabel m_leftNote;                  // shown once older rows have left the window
    QChartView* m_chartView = nullptr;  // owned by this window
    QLineSeries* LineAt(std::size_t run);
    QChart* m_chart = nullptr;          // owned by the view
    std::vector<QLineSeries*> m_lines;  // one per run of one series; owned by the chart
    QScatterSeries* m_marks = nullptr;  // owned by the chart
    QDateTimeAxis* m_timeAxis = nullptr;
    QValueAxis* m_valueAxis = nullptr;
    QPushButton m_export;
    QPushButton m_exportSheet;
    QPushButton m_copy;
    QPushButton m_clear;
    QPushButton m_close;
    QTimer m_refresh;
    bool m_statisticsStale = true;
    bool m_followEnd = true;  // the table follows new rows while its last row is in view
    record::CsvDialect m_dialect;
    PathChooser m_choosePath;
};
