#pragma once

// The captured readings of the readings window, one compact row each (the frame's bytes, its
// time, port, device and rule: 24 bytes), decoded when shown. A working day at one a second
// (86 400 rows) takes about 3 MB. A family's reading, which no frame's bytes hold, is kept beside
// its row as the family decoded it, packed (FamilyParts.h: some fifty bytes more). New rows are
// shown to views at most twice a second, so a view of a fast stream is not laid out and painted
// for every row. At most kMaxRows are held: beyond them the oldest kLeaveAtOnce leave together
// (a log file keeps them all), and so do their totals, kept per block of that many rows.
//
// Thread: UI thread only.

#include <QAbstractTableModel>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "app/readings/FamilyParts.h"
#include "app/readings/Statistics.h"
#include "record/Capture.h"
#include "record/Forms.h"

class ReadingsModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    // kRecord: the weighing record's seq of each row kept there (--record); the window shows it
    // only while weighings are recorded.
    enum Column { kTime, kPort, kReading, kUnit, kIndicators, kCapture, kRecord, kColumnCount };

    static constexpr int kMaxRows = 100000;
    static constexpr int kLeaveAtOnce = kMaxRows / 10;

    explicit ReadingsModel(QObject* parent = nullptr);

    void Append(const record::CapturedReading& reading) { AppendRecorded(reading, std::nullopt); }
    // `seq`: the record's number of the weighing, once it is kept there.
    void AppendRecorded(const record::CapturedReading& reading, std::optional<std::uint64_t> seq);
    // The record's seq of row `row`; none for a row that was not kept there.
    std::optional<std::uint64_t> SeqAt(int row) const;
    // Shows the rows appended since the last time to views now.
    void Publish();
    void Clear();

    // Row `row` (of those shown) as it was captured.
    record::CapturedReading At(int row) const;
    Measured MeasuredAt(int row) const;
    // The rows as CSV with the header, as the log writes them; as tab-separated lines with the
    // same columns for a spreadsheet.
    std::string Csv(const std::vector<int>& rows, record::CsvDialect dialect = {}) const;
    // The rows as a spreadsheet file at `path`, replaced whole as record::SheetWriter does.
    bool WriteSheet(const std::string& path, const std::vector<int>& rows,
                    std::string* error) const;
    // Rows captured since the last row saved (exported, in order from the first unsaved one).
    std::uint64_t Unsaved() const;
    // `rows` (in order) were exported: those that follow the last saved one count as saved.
    void MarkSaved(const std::vector<int>& rows);
    // The fields of Csv(rows, dialect), tab-separated: what Copy puts on the clipboard.
    QString TabSeparated(const std::vector<int>& rows, record::CsvDialect dialect = {}) const;
    std::vector<int> AllRows() const;
    // The statistics of all rows shown, kept up to date as rows are shown.
    Statistics AllStatistics() const;
    // Rows that left to make room since the last Clear.
    std::uint64_t RowsLeft() const { return m_left; }
    // What the rows themselves take, without the names of the devices.
    std::size_t RowBytes() const { return m_rows.capacity() * sizeof(Row); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  signals:
    // Older rows left to make room: `count` now, `total` since the last Clear.
    void rowsLeft(int count, std::uint64_t total);

  private:
    struct Row {
        std::int64_t ms = 0;  // UTC, milliseconds since the epoch
        scale::FrameBytes bytes{};
        std::uint8_t port = 0;
        std::uint8_t rule = 0;
        std::uint16_t device = 0;  // index into m_devices
    };
    static_assert(sizeof(Row) == 24);

    std::uint16_t DeviceIndex(const std::string& device);
    const std::string& DeviceOf(const Row& row) const;
    void MakeRoom();
    QVariant Display(int index, int column) const;
    // The reading of row `index`: the family's as it decoded it, or the frame's decoded now.
    scale::Reading ReadingAt(int index) const;
    std::optional<FamilyPart> FamilyAt(int index) const;

    std::vector<Row> m_rows;
    int m_shown = 0;  // the rows views know of: the first m_shown of m_rows
    // Of the rows shown, a block per kLeaveAtOnce rows counted from the first row ever held:
    // block 0 holds the first rows of m_rows, as m_left is a multiple of kLeaveAtOnce.
    std::deque<UnitTotals> m_blocks;
    std::uint64_t m_left = 0;
    // Rows counted from the first held since the last Clear: those before it were saved.
    std::uint64_t m_savedTo = 0;
    QTimer m_publish;
    std::vector<std::string> m_devices;
    // The family parts of rows, by the row's number counted as m_savedTo counts.
    FamilyParts m_family;
    // Beside m_rows once a row had a seq (0: none), else empty: a session without a record pays
    // nothing for it.
    std::vector<std::uint64_t> m_seqs;
};
