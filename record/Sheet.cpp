#include "record/Sheet.h"

#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <xlsxwriter.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <utility>

#include "record/LogFile.h"

namespace record {

namespace {

constexpr int kMostDecimals = 9;

struct CloseBook {
    void operator()(lxw_workbook* book) const { workbook_close(book); }
};
using BookHandle = std::unique_ptr<lxw_workbook, CloseBook>;

lxw_datetime DateTimeOf(std::chrono::system_clock::time_point time) {
    const auto since = std::chrono::floor<std::chrono::milliseconds>(time);
    const auto day = std::chrono::floor<std::chrono::days>(since);
    const std::chrono::year_month_day date{day};
    const std::chrono::hh_mm_ss clock{since - day};
    return {static_cast<int>(date.year()),
            static_cast<int>(static_cast<unsigned>(date.month())),
            static_cast<int>(static_cast<unsigned>(date.day())),
            static_cast<int>(clock.hours().count()),
            static_cast<int>(clock.minutes().count()),
            static_cast<double>(clock.seconds().count()) +
                static_cast<double>(clock.subseconds().count()) / 1000.0};
}

// Removes the work folder and what the library left in it; it is ours alone (0700).
void RemoveFolder(const std::string& folder) {
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                ::unlink((folder + "/" + name).c_str());
        }
        ::closedir(dir);
    }
    ::rmdir(folder.c_str());
}

// The library writes numbers and dates with printf, which follows LC_NUMERIC: under a
// decimal-comma locale (which Qt's application object sets from LANG) a cell would hold
// "12,345", which no spreadsheet reads as a number. While one lives, this thread alone writes
// numbers the C way; the rest of the process keeps the user's locale.
class CNumbers {
  public:
    CNumbers() {
        const locale_t base = ::duplocale(LC_GLOBAL_LOCALE);
        m_c = base ? ::newlocale(LC_NUMERIC_MASK, "C", base) : locale_t{};
        if (!m_c) {
            if (base)
                ::freelocale(base);
            return;
        }
        m_before = ::uselocale(m_c);
    }
    ~CNumbers() {
        if (!m_c)
            return;
        ::uselocale(m_before);
        ::freelocale(m_c);
    }
    CNumbers(const CNumbers&) = delete;
    CNumbers& operator=(const CNumbers&) = delete;

  private:
    locale_t m_c{};
    locale_t m_before{};
};

}  // namespace

class SheetWriter::Book {
  public:
    BookHandle handle;
    lxw_worksheet* sheet = nullptr;
    lxw_format* header = nullptr;
    lxw_format* time = nullptr;
    std::array<lxw_format*, kMostDecimals + 1> numbers{};
    int sheets = 0;
    std::string failure;  // the first cell refused
};

std::unique_ptr<SheetWriter> SheetWriter::Create(const std::string& path, CsvColumns columns,
                                                 std::string* error) {
    std::vector<std::string> titles;
    for (const CsvColumn column : columns)
        titles.emplace_back(ColumnName(column));
    return Begin(path, std::move(columns), std::move(titles), error);
}

std::unique_ptr<SheetWriter> SheetWriter::CreateTitled(const std::string& path,
                                                       std::vector<std::string> titles,
                                                       std::string* error) {
    return Begin(path, {}, std::move(titles), error);
}

std::unique_ptr<SheetWriter> SheetWriter::Begin(const std::string& path, CsvColumns columns,
                                                std::vector<std::string> titles,
                                                std::string* error) {
    const CNumbers numbers;
    if (!MayReplace(path, error))
        return nullptr;
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string work = folder + "." + base + ".XXXXXX";
    if (::mkdtemp(work.data()) == nullptr) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    std::unique_ptr<SheetWriter> writer(new SheetWriter(path, std::move(columns), work));
    writer->m_titles = std::move(titles);
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = writer->m_folder.data();
    const std::string book = writer->m_folder + "/book.xlsx";
    writer->m_book = std::make_unique<Book>();
    writer->m_book->handle.reset(workbook_new_opt(book.c_str(), &options));
    if (!writer->m_book->handle) {
        *error = "cannot write " + path + ": the spreadsheet could not be begun";
        return nullptr;
    }
    lxw_workbook* handle = writer->m_book->handle.get();
    Book& b = *writer->m_book;
    b.header = workbook_add_format(handle);
    format_set_bold(b.header);
    b.time = workbook_add_format(handle);
    format_set_num_format(b.time, "yyyy-mm-dd hh:mm:ss.000");
    for (int decimals = 0; decimals <= kMostDecimals; ++decimals) {
        b.numbers[decimals] = workbook_add_format(handle);
        const std::string shape = decimals == 0 ? "0" : "0." + std::string(decimals, '0');
        format_set_num_format(b.numbers[decimals], shape.c_str());
    }
    return writer;
}

SheetWriter::SheetWriter(std::string path, CsvColumns columns, std::string folder)
    : m_path(std::move(path)), m_columns(std::move(columns)), m_folder(std::move(folder)) {}

SheetWriter::~SheetWriter() {
    // Closing writes the book into the work folder, which then goes.
    const CNumbers numbers;
    m_book.reset();
    RemoveFolder(m_folder);
}

bool SheetWriter::NewSheet() {
    Book& b = *m_book;
    const std::string name =
        b.sheets == 0 ? std::string("readings") : "readings " + std::to_string(b.sheets + 1);
    b.sheet = workbook_add_worksheet(b.handle.get(), name.c_str());
    if (b.sheet == nullptr)
        return false;
    ++b.sheets;
    for (std::size_t i = 0; i < m_titles.size(); ++i) {
        const auto col = static_cast<lxw_col_t>(i);
        worksheet_write_string(b.sheet, 0, col, m_titles[i].c_str(), b.header);
        if (m_titles[i] == "time_utc")
            worksheet_set_column(b.sheet, col, col, 24, nullptr);
    }
    worksheet_freeze_panes(b.sheet, 1, 0);
    m_sheetRows = 0;
    return true;
}

void SheetWriter::Add(const CapturedReading& r, std::string_view scaleId) {
    std::vector<SheetCell> cells;
    cells.reserve(m_columns.size());
    for (const CsvColumn column : m_columns)
        cells.push_back(SheetCellOf(r, column, scaleId));
    AddCells(cells);
}

void SheetWriter::AddCells(std::span<const SheetCell> cells) {
    if (!m_book || !m_book->handle)
        return;
    const CNumbers numbers;
    Book& b = *m_book;
    if (m_sheetRows >= kRowsPerSheet && !NewSheet()) {
        if (b.failure.empty())
            b.failure = "no sheet could be added";
        return;
    }
    const auto row = static_cast<lxw_row_t>(++m_sheetRows);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const auto col = static_cast<lxw_col_t>(i);
        const SheetCell& cell = cells[i];
        lxw_error result = LXW_NO_ERROR;
        switch (cell.kind) {
            case SheetCell::Kind::kEmpty:
                break;
            case SheetCell::Kind::kNumber:
                result = worksheet_write_number(b.sheet, row, col, cell.number,
                                                b.numbers[static_cast<std::size_t>(
                                                    std::clamp(cell.decimals, 0, kMostDecimals))]);
                break;
            case SheetCell::Kind::kTime: {
                lxw_datetime time = DateTimeOf(cell.time);
                result = worksheet_write_datetime(b.sheet, row, col, &time, b.time);
                break;
            }
            case SheetCell::Kind::kText:
                result = worksheet_write_string(b.sheet, row, col, cell.text.c_str(), nullptr);
                break;
        }
        if (result != LXW_NO_ERROR && b.failure.empty())
            b.failure = lxw_strerror(result);
    }
    ++m_rows;
    // The library writes the rows to its work file unchecked: a full disk would leave a sheet
    // with rows missing and its XML broken. Pushing each row out shows the failure here.
    FILE* work = b.sheet->optimize_tmpfile;
    if (work != nullptr && (std::fflush(work) != 0 || std::ferror(work)) && b.failure.empty())
        b.failure = "its work file took no more at reading " + std::to_string(m_rows) + " (" +
                    std::strerror(errno) + "), so the sheet would come out broken";
}

const std::string& SheetWriter::Failure() const {
    static const std::string kNone;
    return m_book ? m_book->failure : kNone;
}

bool SheetWriter::Finish(std::string* error) {
    if (!m_book || !m_book->handle) {
        *error = "cannot write " + m_path + ": it was written already";
        return false;
    }
    const CNumbers numbers;
    // A book without a sheet is no spreadsheet: an empty run still gets its header.
    if (m_book->sheets == 0)
        NewSheet();
    const std::string failure = m_book->failure;
    const lxw_error closed = workbook_close(m_book->handle.release());
    m_book.reset();
    if (closed != LXW_NO_ERROR || !failure.empty()) {
        *error = "cannot write " + m_path + ": " +
                 (failure.empty() ? std::string(lxw_strerror(closed)) : failure);
        return false;
    }
    std::ifstream book(m_folder + "/book.xlsx", std::ios::binary | std::ios::ate);
    std::string bytes(book ? static_cast<std::size_t>(book.tellg()) : 0, '\0');
    if (bytes.empty() ||
        !book.seekg(0).read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
        *error = "cannot write " + m_path + ": the spreadsheet could not be read back";
        return false;
    }
    return ReplaceWhole(m_path, bytes, error);
}

}  // namespace record
