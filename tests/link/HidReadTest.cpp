// karvel-read and a USB HID scale, with a made sysfs folder (a report descriptor, a name) and a
// pseudo-terminal standing in for the /dev/hidrawN node, carrying real report bytes: the stale
// first report skipped, a reading per changed report with its unit and stable flag, ZERO written
// as the scale's report, the node gone and back, and what is refused or not found.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/link/FakeHid.h"
#include "tests/link/ScaleDescriptor.h"
#include "tests/read/ReadTestSupport.h"
#include "tools/peers/Pty.h"
#include "tools/peers/TestFiles.h"

namespace readtest {
namespace {

using hidtest::Bytes;
using hidtest::FakeHid;
using hidtest::WriteFile;

bool Holds(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The fake scale with karvel-read's command line: its folders through the environment.
std::vector<std::string> ReaderOf(const hidtest::FakeHid& scale, std::vector<std::string> args) {
    std::vector<std::string> argv = {"/usr/bin/env", "KARVEL_HID_SYS=" + scale.Sys(),
                                     "KARVEL_HID_DEV=" + scale.Dev(), ReaderPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

// [id 3, status, unit, scaling, weight low, weight high]: 4 stable, 3 in motion; 3 kg.
const Bytes kStale = {3, 4, 3, 0xFD, 0xE8, 0x03};    // 1.000 kg, kept from before
const Bytes kSettled = {3, 4, 3, 0xFD, 0xC4, 0x09};  // 2.500 kg
const Bytes kMoving = {3, 3, 3, 0xFD, 0x28, 0x0A};   // 2.600 kg

TEST(HidRead, TheStaleReportIsSkippedEachChangeIsAReadingAndZeroIsWritten) {
    FakeHid scale(hidtest::ScaleDescriptor(0x91));  // zero in an output report
    Child reader(ReaderOf(scale, {"--port", "hid", "--keys", "--capture", "every"}));
    ASSERT_TRUE(reader.WaitForError("reading hid (" + scale.Node() + ")")) << reader.Errors();
    EXPECT_TRUE(Holds(reader.Errors(), "USB HID scale (Bench Scale), read by report descriptor"))
        << reader.Errors();
    for (const Bytes& report : {kStale, kSettled, kSettled, kMoving})
        scale.Send(report);
    const auto first = reader.ReadLine();
    ASSERT_TRUE(first) << reader.Errors();
    for (const char* part : {R"("text":"2.500","value":2.500,"unit":"kg","stable":true)",
                             R"("frame":"030403fdc409")", R"("protocol":"hid")"})
        EXPECT_TRUE(Holds(*first, part)) << *first;
    const auto second = reader.ReadLine();
    ASSERT_TRUE(second) << reader.Errors();
    EXPECT_TRUE(Holds(*second, R"("value":2.600,"unit":"kg","stable":false)")) << *second;
    reader.Write("ZERO\n");
    EXPECT_EQ(scale.Received(2), (Bytes{2, 0x01}));
}

TEST(HidRead, ANodeThatGoesAwayIsLostAndBackWithNothingMadeUp) {
    // The scale page and no data report: read by the 6-byte layout, without a zero.
    FakeHid scale({0x05, 0x8D});
    Child reader(ReaderOf(scale, {"--port", "hid", "--keys", "--capture", "every"}));
    ASSERT_TRUE(reader.WaitForError("reading hid")) << reader.Errors();
    EXPECT_TRUE(Holds(reader.Errors(), "the 6-byte data report; no zero on this scale"));
    scale.Send(kStale);
    scale.Send(kSettled);
    ASSERT_TRUE(reader.ReadLine()) << reader.Errors();
    reader.Write("ZERO\n");
    ASSERT_TRUE(reader.WaitForError("no zero on this scale: nothing sent")) << reader.Errors();
    scale.Unplug();
    ASSERT_TRUE(reader.WaitForError("the device went away (")) << reader.Errors();
    scale.Plug();
    ASSERT_TRUE(reader.WaitForError("back; reading again")) << reader.Errors();
    // Kept by the device across the gap: not a reading.
    scale.Send(kSettled);
    scale.Send(kMoving);
    const auto next = reader.ReadLine();
    ASSERT_TRUE(next) << reader.Errors();
    EXPECT_TRUE(Holds(*next, R"("value":2.600,)")) << *next;
}

TEST(HidRead, WhatIsWrittenWrongExits2AndWhatIsNotThereExits1) {
    FakeHid scale(hidtest::ScaleDescriptor());
    struct Case {
        std::vector<std::string> args;
        int exit;
        std::string said;
    };
    const Case cases[] = {
        {{"--port", "hid", "--protocol", "sics"}, 2, "no --protocol or --pattern"},
        {{"--port", "hid", "--line", "9600"}, 2, "does not go with a USB HID scale"},
        {{"--port", "/dev/hidraw0", "--raw"}, 2, "does not go with a USB HID scale"},
        {{"--port", "/dev/hidraw999"}, 1, "/dev/hidraw999: No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.said);
        Child reader(ReaderOf(scale, c.args));
        EXPECT_EQ(reader.Wait(), c.exit);
        EXPECT_TRUE(Holds(reader.Errors(), c.said)) << reader.Errors();
    }
    testing_support::TempDir empty;
    Child none(
        {"/usr/bin/env", "KARVEL_HID_SYS=" + empty.Path().string(), ReaderPath(), "--port", "hid"});
    EXPECT_EQ(none.Wait(), 1);
    EXPECT_TRUE(Holds(none.Errors(), "hid: no USB HID scale found")) << none.Errors();
}

TEST(HidRead, ListPortsNamesTheScalesAndNoOtherHidDevice) {
    FakeHid scale(hidtest::ScaleDescriptor());
    // A keyboard beside it.
    WriteFile(scale.Sys() + "/class/hidraw/hidraw1/device/report_descriptor",
              std::string("\x05\x01\x09\x06\xA1\x01\xC0", 7));
    Child reader(ReaderOf(scale, {"--list-ports"}));
    std::string listed;
    while (const auto line = reader.ReadLine())
        listed += *line + "\n";
    EXPECT_EQ(reader.Wait(), 0);
    EXPECT_TRUE(Holds(listed, scale.Node() + ": USB HID scale (Bench Scale)\n")) << listed;
    EXPECT_FALSE(Holds(listed, "hidraw1")) << listed;
}

}  // namespace
}  // namespace readtest
