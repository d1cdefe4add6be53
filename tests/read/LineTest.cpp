// karvel-read on the line itself: the raw byte dump, a scale unplugged and plugged in again,
// what it leaves in a file it is appended to, key lines from standard input, what it never takes
// for a reading, and ports it cannot have (said in the panel's words).

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>

#include "link/OpenAdvice.h"
#include "platform/serial/PseudoTerminal.h"
#include "tests/read/CountFrame.h"
#include "tests/read/ReadTestSupport.h"
#include "tests/support/DeviceHolding.h"
#include "tools/peers/PortDirectory.h"

namespace readtest {
namespace {

class ReaderOnALine : public testing::Test {
  protected:
    void SetUp() override { ::setenv("KARVEL_PORT_DIR", m_ports.Path().c_str(), 1); }
    void TearDown() override { ::unsetenv("KARVEL_PORT_DIR"); }

    // Unplugs `scale` and plugs a new scale in as COM1; true once `reader` reads it.
    bool Replug(std::unique_ptr<testing_support::PtyPeer>& scale, Child& reader) {
        scale->HangUp();
        m_ports.Unmap(1);
        if (!reader.WaitForError("went away"))
            return false;
        scale = std::make_unique<testing_support::PtyPeer>(testing_support::PtyPeer::Role::Scale);
        m_ports.Map(1, scale->DevicePath());
        return reader.WaitForError("back; reading again");
    }

    testing_support::PortDirectory m_ports;
};

bool Says(const std::string& errors, const std::string& line) {
    return errors.find(line + "\n") != std::string::npos;
}

TEST_F(ReaderOnALine, RawPrintsEveryByteInHexAndAsciiWithItsTimeAndFrameStartsWithoutProbing) {
    testing_support::PtyPeer line(testing_support::PtyPeer::Role::Silent);
    m_ports.Map(1, line.DevicePath());
    Child reader({ReaderPath(), "--raw", "--port", "COM1"});
    ASSERT_TRUE(reader.WaitForError("reading COM1")) << reader.Errors();
    line.Send(std::vector<std::uint8_t>{0x41, 0x06, 0xAA, 0x5A});
    // The bytes may come in more than one burst; each burst is a line of its own.
    const std::regex form(
        R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z  ((?:[0-9a-f]{2} ){1,16}) *\|([^|]*)\|(.*))");
    std::string hex;
    std::string ascii;
    std::string frameLine;
    while (hex.size() < 12) {
        const std::string text = reader.ReadLine().value_or("(no line)");
        std::smatch parts;
        ASSERT_TRUE(std::regex_match(text, parts, form)) << text;
        hex += parts[1];
        ascii += parts[2];
        if (parts[3] == " <- frame start")
            frameLine = parts[1];
        else
            EXPECT_EQ(parts[3], "") << text;
    }
    EXPECT_EQ(hex, "41 06 aa 5a ");
    EXPECT_EQ(ascii, "A..Z");
    // The frame's line begins at its start.
    EXPECT_TRUE(frameLine.starts_with("06 aa") || frameLine.starts_with("aa")) << frameLine;
    // Anything it sent would have gone before it said it was reading.
    EXPECT_TRUE(line.Received().empty());
}

// Raw bytes have no columns, and a count of bytes ends the dump as it ends a reading run.
TEST_F(ReaderOnALine, RawAsCsvPrintsNoHeaderAndEndsOnItsCount) {
    testing_support::PtyPeer line(testing_support::PtyPeer::Role::Silent);
    m_ports.Map(1, line.DevicePath());
    Child reader({ReaderPath(), "--raw", "--format", "csv", "--count", "3", "--port", "COM1"});
    ASSERT_TRUE(reader.WaitForError("reading COM1")) << reader.Errors();
    line.Send(std::vector<std::uint8_t>{0x41, 0x42, 0x43, 0x44});
    // The count is of bytes: the three it took end their burst's line, the fourth never shows.
    const std::string text = reader.ReadLine().value_or("(no line)");
    EXPECT_NE(text.find("Z  41 42 43 "), std::string::npos) << text;
    EXPECT_TRUE(text.ends_with("|ABC|")) << text;
    EXPECT_EQ(reader.Wait(), 0) << reader.Errors();
    EXPECT_EQ(reader.ReadLine(std::chrono::seconds(0)), std::nullopt);
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

// With a port folder the same entry is the same port: after the folder is made again, a new
// device linked as COM1 is read, whether the old one went away or not.
TEST_F(ReaderOnALine, APortFolderMadeAgainWithANewDeviceAsCom1IsReadAgain) {
    for (const bool oldGoes : {true, false}) {
        SCOPED_TRACE(oldGoes ? "the old device goes" : "the old device stays");
        auto scale =
            std::make_unique<testing_support::PtyPeer>(testing_support::PtyPeer::Role::Scale);
        m_ports.Map(1, scale->DevicePath());
        Child reader({ReaderPath(), "--port", "COM1", "--capture", "every"});
        ASSERT_TRUE(reader.WaitForError("reading COM1")) << reader.Errors();
        scale->Send(CountFrame(1));
        ASSERT_EQ(ValueOf(reader.ReadLine().value_or("")), 1) << reader.Errors();

        m_ports.MakeAgain();
        if (oldGoes)
            scale->HangUp();
        testing_support::PtyPeer again(testing_support::PtyPeer::Role::Scale);
        m_ports.Map(1, again.DevicePath());
        ASSERT_TRUE(reader.WaitForError("back; reading again")) << reader.Errors();
        again.Send(CountFrame(2));
        EXPECT_EQ(ValueOf(reader.ReadLine().value_or("")), 2) << reader.Errors();
        m_ports.Unmap(1);
    }
}

// A scale that reads nothing: keys wait up to their bound and more are dropped, while readings
// go on; every key either reaches the scale once it reads again or is counted as dropped.
TEST_F(ReaderOnALine, KeysAScaleDoesNotTakeInNeverHoldTheReadingsAndAreCountedWhenDropped) {
    auto deaf = serial_port::PseudoTerminal::Create();
    ASSERT_TRUE(deaf);
    m_ports.Map(1, deaf->DevicePath());
    Child reader({ReaderPath(), "--port", "COM1", "--keys", "--capture", "every"});
    ASSERT_TRUE(reader.WaitForError("reading COM1")) << reader.Errors();
    // Far more than the line's own buffers hold.
    constexpr std::size_t kKeys = 30000;
    std::string lines;
    for (std::size_t n = 0; n < kKeys; ++n)
        lines += "TARE\n";
    reader.Write(lines);
    ASSERT_TRUE(reader.WaitForError("more are dropped until it does")) << reader.Errors();
    // The first frames after an unanswered probe may be taken for its answer.
    for (int n = 0; n < 3; ++n)
        ASSERT_TRUE(deaf->Write(CountFrame(7)));
    EXPECT_EQ(ValueOf(reader.ReadLine().value_or("")), 7) << reader.Errors();

    // The scale reads again.
    const std::regex dropped(R"(keys: (\d+) keys? (?:was|were) dropped)");
    std::size_t received = 0;
    std::size_t counted = 0;
    const auto deadline = Clock::now() + kPatience;
    while (received + counted < kKeys && Clock::now() < deadline) {
        for (const std::uint8_t byte : deaf->Read(std::chrono::milliseconds(200)))
            received += byte == 'T' ? 1 : 0;
        counted = 0;
        const std::string errors = reader.Errors();
        for (auto it = std::sregex_iterator(errors.begin(), errors.end(), dropped);
             it != std::sregex_iterator(); ++it)
            counted += std::stoul((*it)[1]);
    }
    EXPECT_EQ(received + counted, kKeys) << received << " reached it\n" << reader.Errors();
    EXPECT_GT(counted, 0u);
}

TEST_F(ReaderOnALine, UnpluggedScaleIsReadAgainWhenItComesBack) {
    auto scale = std::make_unique<testing_support::PtyPeer>(testing_support::PtyPeer::Role::Scale);
    m_ports.Map(1, scale->DevicePath());
    Child reader({ReaderPath(), "--port", "COM1", "--capture", "every"});
    ASSERT_TRUE(reader.WaitForError("reading COM1")) << reader.Errors();
    scale->Send(CountFrame(1));
    ASSERT_EQ(ValueOf(reader.ReadLine().value_or("")), 1) << reader.Errors();

    ASSERT_TRUE(Replug(scale, reader)) << reader.Errors();
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

std::vector<std::uint8_t> Join(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

TEST_F(ReaderOnALine, NoReadingIsMadeOfTheProbesAnswerGluedToAFrame) {
    const std::vector<std::uint8_t> answer = {0x06, 0xAA};
    const struct {
        const char* name;
        std::vector<std::uint8_t> reply;  // to the probe
    } cases[] = {
        {"the answer, then the first frame", Join({answer, CountFrame(2)})},
        {"a frame in flight, the answer, the next frame",
         Join({CountFrame(1), answer, CountFrame(2)})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::PtyPeer scale(c.reply);
        m_ports.Map(1, scale.DevicePath());
        Child reader({ReaderPath(), "--port", "COM1", "--capture", "every"});
        ASSERT_TRUE(reader.WaitForError("reading COM1")) << reader.Errors();
        const std::string first = reader.ReadLine().value_or("");
        EXPECT_EQ(ValueOf(first), 2) << first;
        scale.Send(CountFrame(3));
        EXPECT_EQ(ValueOf(reader.ReadLine().value_or("")), 3) << reader.Errors();
        m_ports.Unmap(1);
    }
}

TEST_F(ReaderOnALine, AFrameCutByTheUnplugMakesNoReadingWithTheFirstFrameAfter) {
    auto scale = std::make_unique<testing_support::PtyPeer>(testing_support::PtyPeer::Role::Scale);
    m_ports.Map(1, scale->DevicePath());
    Child reader({ReaderPath(), "--port", "COM1", "--capture", "every"});
    ASSERT_TRUE(reader.WaitForError("reading COM1")) << reader.Errors();
    // Read together with the frame before it: half a frame, then the line goes.
    const std::vector<std::uint8_t> cut = CountFrame(5);
    scale->Send(Join({CountFrame(1), {cut.begin(), cut.begin() + 6}}));
    ASSERT_EQ(ValueOf(reader.ReadLine().value_or("")), 1) << reader.Errors();

    ASSERT_TRUE(Replug(scale, reader)) << reader.Errors();
    scale->Send(CountFrame(2));
    EXPECT_EQ(ValueOf(reader.ReadLine().value_or("")), 2) << reader.Errors();
}

// A device outside the folder is called by the path it was named by, never by the number the
// reader gives it.
TEST_F(ReaderOnALine, ADevicePathNamedByTheUserIsCalledByThatPath) {
    for (const char* format : {"jsonl", "csv", "text"}) {
        SCOPED_TRACE(format);
        testing_support::PtyPeer scale(testing_support::PtyPeer::Role::Scale);
        const std::string path = scale.DevicePath();
        const std::string field = std::string(format) == "jsonl"
                                      ? "\"port\":\"" + path + "\",\"device\":\"" + path + "\""
                                  : std::string(format) == "csv" ? "," + path + "," + path + ","
                                                                 : " " + path + " ";
        Child reader({ReaderPath(), "--port", path, "--capture", "every", "--format", format,
                      "--header", "never"});
        ASSERT_TRUE(reader.WaitForError("reading " + path + "\n")) << reader.Errors();
        scale.Send(CountFrame(1));
        const std::string line = reader.ReadLine().value_or("");
        EXPECT_NE(line.find(field), std::string::npos) << line;
        EXPECT_EQ(reader.Errors().find("COM"), std::string::npos) << reader.Errors();
    }
}

TEST_F(ReaderOnALine, AMissingDevicePathIsCalledByThatPathInEveryLine) {
    const std::string path = m_ports.Path() + "-elsewhere/ttyUSB7";
    for (const bool raw : {false, true}) {
        std::vector<std::string> argv = {ReaderPath(), "--port", path};
        if (raw)
            argv.push_back("--raw");
        Child reader(argv);
        EXPECT_EQ(reader.Wait(), 1);
        const std::string errors = reader.Errors();
        EXPECT_TRUE(errors.find("karvel-read: cannot open " + path + ": ") == 0) << errors;
        EXPECT_TRUE(
            Says(errors, "karvel-read: " + path + " does not exist (no such device; unplugged?)."))
            << errors;
        EXPECT_EQ(errors.find("COM"), std::string::npos) << errors;
    }
}

TEST_F(ReaderOnALine, APortFolderOthersCanWriteIsRefusedInThePanelsWords) {
    testing_support::PtyPeer scale(testing_support::PtyPeer::Role::Scale);
    m_ports.Map(1, scale.DevicePath());
    ASSERT_EQ(::chmod(m_ports.Path().c_str(), 0777), 0);
    const std::string words = scale_link::FolderRefusalText(*m_ports.Ports());
    ASSERT_NE(words.find("Another user could"), std::string::npos) << words;

    Child reader({ReaderPath()});
    Child panel({KARVEL_BINARY, "--list-ports"});
    EXPECT_EQ(reader.Wait(), 1);
    EXPECT_EQ(panel.Wait(), 0);
    EXPECT_TRUE(Says(reader.Errors(), "karvel-read: " + words)) << reader.Errors();
    EXPECT_TRUE(Says(panel.Errors(), "Karvel: " + words)) << panel.Errors();
}

TEST_F(ReaderOnALine, APortAnotherProgramHoldsIsExplainedWithWhoHoldsIt) {
    testing_support::PtyPeer scale(testing_support::PtyPeer::Role::Scale);
    m_ports.Map(1, scale.DevicePath());
    testing_support::DeviceLock other(scale.DevicePath());
    ASSERT_TRUE(other.Locked());
    serial_port::PortError busy;
    busy.kind = serial_port::ErrorKind::kBusy;
    const std::string advice =
        scale_link::ExplainOpenFailure(*m_ports.Ports(), 1, busy, "karvel-read");
    ASSERT_NE(advice.find("(process " + std::to_string(::getpid()) + " of user"), std::string::npos)
        << advice;
    const struct {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {{"--port", "COM1"}, "karvel-read: " + advice},
        {{}, "karvel-read: COM1 could not be opened. " + advice},
        {{"--protocol", "auto"}, "karvel-read: COM1 could not be opened. " + advice},
        {{"--protocol", "sics", "--port", "COM1"},
         "karvel-read: COM1 could not be opened. " + advice},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv = {ReaderPath()};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        Child reader(argv);
        EXPECT_EQ(reader.Wait(), 1);
        EXPECT_TRUE(Says(reader.Errors(), c.says)) << reader.Errors();
    }
    EXPECT_TRUE(scale.Received().empty());
}

}  // namespace
}  // namespace readtest
