// The spreadsheet file as a spreadsheet reads it: LibreOffice, headless, in a decimal-comma and a
// decimal-point locale, with a profile of its own that the test removes.

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "record/Check.h"
#include "record/Sheet.h"
#include "tests/record/Frames.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Sheets.h"
#include "tools/peers/TestFiles.h"

namespace {

using namespace std::chrono;
using record_test::MakeFrame;
using record_test::Showing;
using testing_support::TempDir;

const system_clock::time_point kTime =
    sys_days{year{2026} / December / 8} + hours{16} + minutes{49} + seconds{43} + milliseconds{123};

record::CapturedReading Reading(const char* cells, std::uint8_t unit, milliseconds later,
                                const std::string& device = "/dev/ttyUSB0") {
    return record::CaptureOf(MakeFrame(Showing(cells, scale::kSignStable, unit), kTime + later), 5,
                             device, record::CaptureRule::kSettled);
}

std::string Soffice() {
    for (const char* path : {"/usr/bin/soffice", "/usr/local/bin/soffice"}) {
        if (::access(path, X_OK) == 0)
            return path;
    }
    return {};
}

// RFC 4180 records as LibreOffice writes them.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
            rows.back().back() += c;
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == ',') {
            rows.back().emplace_back();
        } else if (!quoted && c == '\n') {
            rows.emplace_back(1);
        } else if (quoted || c != '\r') {
            rows.back().back() += c;
        }
    }
    if (rows.back() == std::vector<std::string>(1))
        rows.pop_back();
    return rows;
}

// `xlsx` converted to CSV by LibreOffice with `locale` ("de-DE") as its own setting.
std::string ConvertedInLocale(const std::string& xlsx, const std::string& locale,
                              const std::string& lang) {
    TempDir profile;
    testing_support::WriteFile(
        profile / "user/registrymodifications.xcu",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
        "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
        "<item oor:path=\"/org.openoffice.Setup/L10N\"><prop oor:name=\"ooSetupSystemLocale\" "
        "oor:op=\"fuse\"><value>" +
            locale + "</value></prop></item>\n</oor:items>\n");
    TempDir out;
    const testing_support::ScopedEnv language("LANG", lang);
    const testing_support::ScopedEnv home("HOME", profile.Path().string());
    // 44: comma, 34: double quote, 76: UTF-8.
    const testing_support::ProgramRun run = testing_support::RunProgram(
        Soffice(),
        {"-env:UserInstallation=file://" + profile.Path().string(), "--headless", "--norestore",
         "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76", "--outdir",
         out.Path().string(), xlsx},
        out.Path().string());
    EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
    const std::string csv = out / (std::filesystem::path(xlsx).stem().string() + ".csv");
    return testing_support::ReadFile(csv);
}

TEST(Sheet, LibreOfficeReadsNumbersAsNumbersAndTimesAsDatesInEitherLocale) {
    if (Soffice().empty())
        GTEST_SKIP() << "soffice is missing (Debian libreoffice-calc-nogui; scripts/setup.sh "
                        "installs it)";
    TempDir dir;
    const std::string path = dir / "readings.xlsx";
    std::string error;
    auto sheet = record::SheetWriter::Create(path, record::DefaultCsvColumns(), &error);
    ASSERT_TRUE(sheet) << error;
    // A device name a spreadsheet would run, were it a formula.
    sheet->Add(Reading("13.989", record_test::kKg, milliseconds{0}, "=1+1"));
    sheet->Add(Reading("22.730", record_test::kKg, milliseconds{1500}));
    sheet->Add(Reading("-0.50", 0x02, hours{30}));
    sheet->Add(Reading("----", record_test::kKg, hours{30}));
    ASSERT_TRUE(sheet->Finish(&error)) << error;
    sheet.reset();
    // Nothing of the work folder is left beside the file.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

    const struct {
        const char* locale;
        const char* lang;
        char decimal;
    } locales[] = {{"de-DE", "de_DE.UTF-8", ','}, {"en-US", "en_US.UTF-8", '.'}};
    for (const auto& l : locales) {
        SCOPED_TRACE(l.locale);
        const auto rows = ParseCsv(ConvertedInLocale(path, l.locale, l.lang));
        ASSERT_EQ(rows.size(), 5u);
        EXPECT_EQ(rows[0][0], "time_utc");
        EXPECT_EQ(rows[0][4], "value");
        const auto shown = [&](std::string number) {
            std::replace(number.begin(), number.end(), '.', l.decimal);
            return number;
        };
        // A number cell is shown in the locale's decimal sign; a text cell would keep its point.
        EXPECT_EQ(rows[1][4], shown("13.989"));
        EXPECT_EQ(rows[2][4], shown("22.730"));
        EXPECT_EQ(rows[3][4], shown("-0.50"));
        EXPECT_EQ(rows[4][4], "");
        EXPECT_EQ(rows[1][3], "13.989");  // the text as the scale showed it
        EXPECT_EQ(rows[1][2], "=1+1");
        EXPECT_EQ(rows[1][5], "kg");
        EXPECT_EQ(rows[1][6], "1");
        // A date cell in its own format: not the text of the CSV's time ("...T...Z").
        const std::regex date(R"(2026-12-(\d\d) (\d\d):(\d\d):(\d\d)[.,](\d{3}))");
        const struct {
            int row;
            const char* day;
            const char* clock;
        } times[] = {
            {1, "08", "16:49:43.123"}, {2, "08", "16:49:44.623"}, {3, "09", "22:49:43.123"}};
        for (const auto& t : times) {
            std::smatch parts;
            ASSERT_TRUE(std::regex_match(rows[t.row][0], parts, date)) << rows[t.row][0];
            EXPECT_EQ(parts[1], t.day);
            EXPECT_EQ(
                parts[2].str() + ":" + parts[3].str() + ":" + parts[4].str() + "." + parts[5].str(),
                t.clock);
        }
    }
}

// Under a decimal-comma locale, set as Qt's application object sets it, numbers and times keep
// their point: the file is read by the spreadsheet's own rules, not the writer's locale.
TEST(Sheet, NumbersKeepTheirPointUnderADecimalCommaLocale) {
    const std::string missing = testing_support::DecimalCommaLocaleMissing();
    ASSERT_TRUE(missing.empty()) << missing;
    TempDir dir;
    const std::string path = dir / "readings.xlsx";
    {
        const testing_support::DecimalCommaLocale decimalComma;
        std::string error;
        const auto rule = record::ParseCheck("12.3kg,-1,+1", &error);
        ASSERT_TRUE(rule) << error;
        record::CsvColumns columns = record::DefaultCsvColumns();
        columns.push_back(record::CsvColumn::kDeviation);
        auto sheet = record::SheetWriter::Create(path, columns, &error);
        ASSERT_TRUE(sheet) << error;
        record::CapturedReading r = Reading("12.345", record_test::kKg, milliseconds{0});
        r.check = record::CheckOf(*rule, r.reading);
        sheet->Add(r);
        ASSERT_TRUE(sheet->Finish(&error)) << error;
    }
    const std::string xml = testing_support::FirstSheetXml(path);
    const auto cells = testing_support::SheetCells(xml);
    const auto cell = [&cells](const char* ref) { return testing_support::CellOf(cells, ref); };
    EXPECT_EQ(cell("E2"), "12.345");
    EXPECT_EQ(cell("N2"), "0.045");
    EXPECT_TRUE(std::regex_match(cell("A2"), std::regex(R"(46364\.70\d+)"))) << cell("A2");
    EXPECT_FALSE(std::regex_search(xml, std::regex(R"(\d,\d)"))) << xml;
}

// Written as an export is: never through a link, a FIFO or a device, refused before any
// reading is taken, and a link planted later is replaced, never followed; a folder that cannot
// take it is known at once.
TEST(Sheet, RefusesALinkAndAFolderItCannotWrite) {
    TempDir dir;
    const std::string target = dir / "target.xlsx";
    const std::string link = dir / "readings.xlsx";
    const std::string fifo = dir / "fifo.xlsx";
    testing_support::WriteFile(target, "kept");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string error;
    for (const auto& [path, says] : {std::pair{link, "is a symbolic link"}, {fifo, "is a FIFO"}}) {
        EXPECT_FALSE(record::SheetWriter::Create(path, record::DefaultCsvColumns(), &error));
        EXPECT_NE(error.find(says), std::string::npos) << error;
    }
    ASSERT_EQ(::unlink(link.c_str()), 0);
    auto sheet = record::SheetWriter::Create(link, record::DefaultCsvColumns(), &error);
    ASSERT_TRUE(sheet) << error;
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    sheet->Add(Reading("1.000", record_test::kKg, milliseconds{0}));
    EXPECT_FALSE(sheet->Finish(&error));
    EXPECT_NE(error.find("is a symbolic link"), std::string::npos) << error;
    EXPECT_EQ(testing_support::ReadFile(target), "kept");
    sheet.reset();
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 3);

    EXPECT_FALSE(record::SheetWriter::Create(dir / "missing/readings.xlsx",
                                             record::DefaultCsvColumns(), &error));
    EXPECT_NE(error.find("missing/readings.xlsx"), std::string::npos) << error;
}

// A work file that runs out of room (here a file size limit, as a full disk) is said when it
// happens and again at the end, and no broken sheet is left. In a child: the limit is its own.
TEST(Sheet, RoomRunningOutIsSaidAndLeavesNoBrokenSheet) {
    TempDir dir;
    const std::string target = dir / "full.xlsx";
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::string error;
        auto sheet = record::SheetWriter::Create(target, record::DefaultCsvColumns(), &error);
        for (int i = 0; sheet && i < 2000; ++i)
            sheet->Add(Reading("1.000", record_test::kKg, milliseconds{i}));
        const bool saidEarly =
            sheet && sheet->Failure().find("File too large") != std::string::npos;
        const bool refused = sheet && !sheet->Finish(&error) &&
                             error.find("sheet would come out broken") != std::string::npos;
        ::_exit(saidEarly && refused ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(std::filesystem::exists(target));
}

}  // namespace
