// Karvel's own options as the program reads them.

#include <gtest/gtest.h>

#include <vector>

#include "CommandLine.h"

namespace {

CommandLine Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "Karvel");
    return ParseCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(CommandLine, PortTakesAComNumberOrADevicePathAndRefusesAnythingElse) {
    struct Case {
        std::vector<const char*> args;
        const char* port;  // nullptr: refused
    };
    const Case cases[] = {
        {{"--port", "COM3"}, "COM3"},
        {{"--port=com12"}, "COM12"},
        {{"--port", "/dev/ttyUSB0"}, "/dev/ttyUSB0"},
        {{"--port", "./link"}, "./link"},
        {{"--demo", "--port", "COM32"}, "COM32"},
        {{"--port"}, nullptr},
        {{"--port="}, nullptr},
        {{"--port", "COM0"}, nullptr},
        {{"--port", "COM33"}, nullptr},
        {{"--port", "ttyUSB0"}, nullptr},
        {{"--port", "COM03"}, nullptr},
    };
    for (const Case& c : cases) {
        const CommandLine cmd = Parse(c.args);
        if (c.port) {
            EXPECT_TRUE(cmd.error.isEmpty()) << c.args.back() << ": " << cmd.error.toStdString();
            EXPECT_EQ(cmd.port, c.port);
        } else {
            EXPECT_TRUE(cmd.error.contains("--port")) << c.args.back();
        }
    }
    EXPECT_TRUE(Parse({}).port.isEmpty());
    EXPECT_TRUE(UsageText().contains("--port COMn|PATH"));
}

}  // namespace
