#pragma once

// Captured readings as a spreadsheet file (.xlsx, written by libxlsxwriter): a header row with
// the CSV's column names ("time_utc" says the times are UTC), then one row per reading with the
// value as a number shown with the scale's decimals, the time as a date-time, the unit in its own
// column and the flags as 1 or 0. A sheet holds at most kRowsPerSheet readings; the next ones go
// on a new sheet.
//
// Rows are not kept in memory: each goes to a work file (about 570 bytes a reading; unlinked, so
// it goes with the process) in a private folder (0700) made beside the target when the writer
// is created, so a target folder that cannot be written is known at once. Finish assembles the
// file there and writes it over the target as ReplaceWhole does (a link, a FIFO or a device is
// refused; a file keeps its mode); the folder is removed whatever happens. The finished file is
// read into memory once to be written: about 45 bytes a reading.
//
// Plain C++, no Qt. Thread: one thread at a time.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "record/Capture.h"
#include "record/Forms.h"

namespace record {

class SheetWriter {
  public:
    // Readings on one sheet: the format's rows less the header.
    static constexpr std::size_t kRowsPerSheet = 1048575;

    // A writer for `path` with these columns; nothing, with the reason in `error`, when the
    // folder beside `path` cannot be made.
    static std::unique_ptr<SheetWriter> Create(const std::string& path, CsvColumns columns,
                                               std::string* error);
    // A writer of rows of other columns, with these titles, given cell by cell (AddCells).
    static std::unique_ptr<SheetWriter> CreateTitled(const std::string& path,
                                                     std::vector<std::string> titles,
                                                     std::string* error);
    ~SheetWriter();
    SheetWriter(const SheetWriter&) = delete;
    SheetWriter& operator=(const SheetWriter&) = delete;

    // `scaleId` fills the scale column.
    void Add(const CapturedReading& r, std::string_view scaleId = {});
    // One row, a cell per title.
    void AddCells(std::span<const SheetCell> cells);
    std::uint64_t Rows() const { return m_rows; }
    // Why the sheet can no longer be written whole, once that is known (a full disk); empty
    // before. Finish then refuses, leaving the target as it was.
    const std::string& Failure() const;
    // Writes the file to the target. Once only; false with the reason in `error`.
    bool Finish(std::string* error);

  private:
    class Book;
    SheetWriter(std::string path, CsvColumns columns, std::string folder);
    static std::unique_ptr<SheetWriter> Begin(const std::string& path, CsvColumns columns,
                                              std::vector<std::string> titles, std::string* error);
    bool NewSheet();

    std::string m_path;
    CsvColumns m_columns;
    std::vector<std::string> m_titles;  // the header row
    std::string m_folder;               // the private work folder
    std::unique_ptr<Book> m_book;
    std::uint64_t m_rows = 0;
    std::size_t m_sheetRows = kRowsPerSheet;  // rows on the current sheet: a new one is due
    bool m_failed = false;                    // a cell was refused; said by Finish
};

}  // namespace record
