// karvel-read on the line itself: the raw byte dump, and a scale unplugged and plugged in again.

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
