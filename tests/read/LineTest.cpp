// karvel-read on the line itself: the raw byte dump, a scale unplugged and plugged in again, what
// it leaves in a file it is appended to, and key lines from standard input.

#include <signal.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>

#include "tests/read/CountFrame.h"
#include "tests/read/ReadTestSupport.h"
#include "tests/support/PortDirectory.h"

namespace readtest {
namespace {

class ReaderOnALine : public testing::Test {
  protected:
    void SetUp() override { ::setenv("KARVEL_PORT_DIR", m_ports.Path().c_str(), 1); }
    void TearDown() override { ::unsetenv("KARVEL_PORT_DIR"); }

    testing_support::PortDirectory m_ports;
};

TEST_F(ReaderOnALine, RawPrintsEveryByteWithItsTimeAndMarksFrameStartsWithoutProbing) {
    testing_support::PtyPeer line(testing_support::PtyPeer::Role::Silent);
    m_ports.Map(1, line.DevicePath());
    Child reader({ReaderPath(), "--raw", "--port", "COM1"});
    ASSERT_TRUE(reader.WaitForError("reading COM1")) << reader.Errors();
    line.Send(std::vector<std::uint8_t>{0x41, 0x06, 0xAA, 0xAA});
    const std::regex form(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z ([0-9a-f]{2})(.*))");
    const struct {
        const char* hex;
        const char* mark;
    } expected[] = {{"41", ""}, {"06", ""}, {"aa", " <- frame start (06 aa)"}, {"aa", ""}};
    for (const auto& byte : expected) {
        const std::string text = reader.ReadLine().value_or("(no line)");
        std::smatch parts;
        ASSERT_TRUE(std::regex_match(text, parts, form)) << text;
        EXPECT_EQ(parts[1], byte.hex) << text;
        EXPECT_EQ(parts[2], byte.mark) << text;
    }
    // Anything it sent would have gone before it said it was reading.
    EXPECT_TRUE(line.Received().empty());
}

// Raw bytes have no columns, and a count of lines ends the dump as it ends a reading run.
TEST_F(ReaderOnALine, RawAsCsvPrintsNoHeaderAndEndsOnItsCount) {
    testing_support::PtyPeer line(testing_support::PtyPeer::Role::Silent);
    m_ports.Map(1, line.DevicePath());
    Child reader({ReaderPath(), "--raw", "--format", "csv", "--count", "3", "--port", "COM1"});
    ASSERT_TRUE(reader.WaitForError("reading COM1")) << reader.Errors();
    line.Send(std::vector<std::uint8_t>{0x41, 0x42, 0x43, 0x44});
    for (const char* hex : {"41", "42", "43"}) {
        const std::string text = reader.ReadLine().value_or("(no line)");
        EXPECT_TRUE(text.ends_with(std::string("Z ") + hex)) << text;
    }
    EXPECT_EQ(reader.Wait(), 0) << reader.Errors();
}

// `--format csv >> FILE`, run after run: one header at the top unless told otherwise.
TEST_F(ReaderOnALine, CsvAppendedToAFileHasOneHeaderAtItsTop) {
    const struct {
        const char* header;  // --header, or none
        int runs;
        int headers;
    } cases[] = {{nullptr, 2, 1}, {"auto", 1, 1}, {"never", 2, 0}, {"always", 2, 2}};
    for (const auto& c : cases) {
        TempDir dir;
        const std::string file = dir / "weighings.csv";
        for (int run = 1; run <= c.runs; ++run) {
            testing_support::PtyPeer scale(testing_support::PtyPeer::Role::Scale);
            m_ports.Map(1, scale.DevicePath());
            std::string command =
                "exec " + ReaderPath() + " --port COM1 --format csv --capture every --count 1";
            if (c.header)
                command += std::string(" --header ") + c.header;
            Child reader({"/bin/sh", "-c", command + " >> '" + file + "'"});
            ASSERT_TRUE(reader.WaitForError("reading COM1")) << reader.Errors();
            scale.Send(CountFrame(run));
            ASSERT_EQ(reader.Wait(), 0) << reader.Errors();
            m_ports.Unmap(1);
        }
        const std::string text = testing_support::ReadFile(file);
        int headers = 0;
        int rows = 0;
        for (std::size_t at = 0; at < text.size(); at = text.find('\n', at) + 1) {
            headers += text.compare(at, 9, "time_utc,") == 0;
            rows += text.compare(at, 2, "20") == 0;
        }
        EXPECT_EQ(headers, c.headers) << (c.header ? c.header : "default") << "\n" << text;
        EXPECT_EQ(rows, c.runs) << text;
        if (c.headers > 0) {
            EXPECT_TRUE(text.starts_with("time_utc,")) << text;
        }
    }
}

// The decimal-comma dialect reaches standard output; the spreadsheet file is written when the
// run ends, on its count or on SIGTERM, and never without --output.
TEST_F(ReaderOnALine, CsvDialectAndTheSpreadsheetAtTheEndOfTheRun) {
    testing_support::PtyPeer scale(testing_support::PtyPeer::Role::Scale);
    m_ports.Map(1, scale.DevicePath());
    {
        Child reader({ReaderPath(), "--port", "COM1", "--format", "csv", "--csv-decimal", ",",
                      "--capture", "every", "--count", "1"});
        ASSERT_TRUE(reader.WaitForError("reading COM1")) << reader.Errors();
        scale.Send(CountFrame(7));
        EXPECT_TRUE(reader.ReadLine().value_or("").starts_with("time_utc;port;device;text;"));
        const std::string row = reader.ReadLine().value_or("(no line)");
        EXPECT_NE(row.find(";007;7;kg;1;"), std::string::npos) << row;
        EXPECT_EQ(reader.Wait(), 0) << reader.Errors();
    }
    TempDir dir;
    const std::string file = dir / "weighings.xlsx";
    const std::string opening = "PK\x03\x04";  // a zip, as every .xlsx is
    {
        Child reader({ReaderPath(), "--port", "COM1", "--format", "xlsx", "--output", file,
                      "--capture", "every", "--count", "2"});
        ASSERT_TRUE(reader.WaitForError("reading COM1")) << reader.Errors();
        scale.Send(CountFrame(1));
        scale.Send(CountFrame(2));
        EXPECT_EQ(reader.Wait(), 0) << reader.Errors();
        EXPECT_NE(reader.Errors().find("wrote 2 readings to " + file), std::string::npos)
            << reader.Errors();
        EXPECT_TRUE(testing_support::ReadFile(file).starts_with(opening));
    }
    ::unlink(file.c_str());
    {
        Child reader({ReaderPath(), "--port", "COM1", "--format", "xlsx", "--output", file});
        ASSERT_TRUE(reader.WaitForError("reading COM1")) << reader.Errors();
        reader.Signal(SIGTERM);
        EXPECT_EQ(reader.Wait(), 0) << reader.Errors();
        EXPECT_TRUE(reader.Errors().find("wrote 0 readings") != std::string::npos)
            << reader.Errors();
        EXPECT_TRUE(testing_support::ReadFile(file).starts_with(opening)) << reader.Errors();
    }
    Child refused({ReaderPath(), "--port", "COM1", "--format", "xlsx"});
    EXPECT_EQ(refused.Wait(), 2);
    EXPECT_NE(refused.Errors().find("give it with --output FILE"), std::string::npos)
        << refused.Errors();
}

// A key word at the end of a line too long to be one is no key.
TEST_F(ReaderOnALine, AKeyLineTooLongIsRefusedWhole) {
    testing_support::PtyPeer scale(testing_support::PtyPeer::Role::Scale);
    m_ports.Map(1, scale.DevicePath());
    Child reader({ReaderPath(), "--port", "COM1", "--keys"});
    ASSERT_TRUE(reader.WaitForError("reading COM1")) << reader.Errors();
    for (const std::size_t length : {512u, 1024u, 3000u}) {
        scale.ClearReceived();
        reader.Write(std::string(length, 'X') + "TARE\n" + "MODE\n");
        ASSERT_TRUE(scale.WaitForBytes(1)) << reader.Errors();
        EXPECT_EQ(scale.Received(), std::vector<std::uint8_t>{'M'}) << length;
    }
    EXPECT_TRUE(reader.WaitForError("refused a line longer than 512 bytes")) << reader.Errors();
}

TEST_F(ReaderOnALine, UnpluggedScaleIsReadAgainWhenItComesBack) {
    auto scale = std::make_unique<testing_support::PtyPeer>(testing_support::PtyPeer::Role::Scale);
    m_ports.Map(1, scale->DevicePath());
    Child reader({ReaderPath(), "--port", "COM1", "--capture", "every"});
    ASSERT_TRUE(reader.WaitForError("reading COM1")) << reader.Errors();
    scale->Send(CountFrame(1));
    ASSERT_EQ(ValueOf(reader.ReadLine().value_or("")), 1) << reader.Errors();

    scale->HangUp();
    m_ports.Unmap(1);
    ASSERT_TRUE(reader.WaitForError("went away")) << reader.Errors();
    scale = std::make_unique<testing_support::PtyPeer>(testing_support::PtyPeer::Role::Scale);
    m_ports.Map(1, scale->DevicePath());
    ASSERT_TRUE(reader.WaitForError("back; reading again")) << reader.Errors();
    scale->Send(CountFrame(2));
    EXPECT_EQ(ValueOf(reader.ReadLine().value_or("")), 2) << reader.Errors();
    EXPECT_FALSE(reader.Wait(std::chrono::seconds(0))) << "it ended: " << reader.Errors();
}

TEST_F(ReaderOnALine, OutputNobodyReadsDropsLinesAndTheReaderStillEndsOnSigterm) {
    testing_support::PtyPeer scale(testing_support::PtyPeer::Role::Scale);
    m_ports.Map(1, scale.DevicePath());
    Child reader({ReaderPath(), "--port", "COM1", "--capture", "every"});
    ASSERT_TRUE(reader.WaitForError("reading COM1")) << reader.Errors();
    reader.LeaveOutputUnread();
    // Far more lines than a pipe holds, far fewer bytes than the line's own buffers.
    for (int n = 0; n < 1000; ++n)
        ASSERT_TRUE(scale.Send(CountFrame(n % 1000)));
    ASSERT_TRUE(reader.WaitForError("dropping lines")) << reader.Errors();
    reader.Signal(SIGTERM);
    EXPECT_EQ(reader.Wait(), 0) << reader.Errors();
    EXPECT_TRUE(reader.WaitForError("lines were dropped")) << reader.Errors();
}

}  // namespace
}  // namespace readtest
