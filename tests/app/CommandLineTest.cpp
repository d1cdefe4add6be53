// Karvel's own options as the program reads them.

#include <gtest/gtest.h>

#include <vector>

#include "app/CommandLine.h"

namespace {

CommandLine Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "Karvel");
    return ParseCommandLine(ArgumentsOf(static_cast<int>(args.size()), args.data()));
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

// --id names the scale for --mqtt, as karvel-read's does.
TEST(CommandLine, IdTakesAScaleNameForMqtt) {
    struct Case {
        std::vector<const char*> args;
        const char* id;     // nullptr: refused
        const char* error;  // part of the message when refused
    };
    const Case cases[] = {
        {{"--mqtt", "mqtt://broker", "--id", "lab.scale-2"}, "lab.scale-2", ""},
        {{"--id=bay_1", "--mqtt", "mqtt://broker"}, "bay_1", ""},
        {{"--id", "bay 1", "--mqtt", "mqtt://broker"}, nullptr, "--id may hold"},
        {{"--mqtt", "mqtt://broker", "--id"}, nullptr, "--id needs a value"},
        {{"--id", "bay1"}, nullptr, "needs --mqtt"},
    };
    for (const Case& c : cases) {
        const CommandLine cmd = Parse(c.args);
        if (c.id) {
            EXPECT_TRUE(cmd.error.isEmpty()) << c.args.front() << ": " << cmd.error.toStdString();
            EXPECT_EQ(cmd.id, c.id);
        } else {
            EXPECT_TRUE(cmd.error.contains(c.error)) << cmd.error.toStdString();
        }
    }
    EXPECT_TRUE(UsageText().contains("--id NAME"));
}

// Qt's options pass, with their values, in the forms Qt reads; ours are still seen around them.
TEST(CommandLine, QtsOptionsAreLeftToQtWithTheirValues) {
    struct Case {
        std::vector<const char*> args;
        bool demo;
        bool platformNamed;
    };
    const Case cases[] = {
        {{"-platform", "xcb", "--version"}, false, true},
        {{"--platform", "offscreen", "--demo"}, true, true},
        {{"-platform=offscreen", "--demo"}, true, false},  // Qt does not read this form
        {{"-style", "Fusion", "--demo"}, true, false},
        {{"--style=Fusion", "--demo"}, true, false},
        {{"-stylesheet", "/tmp/a b.qss", "-reverse", "--demo"}, true, false},
        {{"--demo", "-geometry", "400x200+10+10", "-qwindowtitle", "Scale"}, true, false},
        {{"-style", "--demo"}, false, false},  // as Qt does: the style is named "--demo"
        {{"-nograb", "-someplugin-option", "--demo"}, true, false},
        {{"-style"}, false, false},
    };
    for (const Case& c : cases) {
        const CommandLine cmd = Parse(c.args);
        EXPECT_TRUE(cmd.error.isEmpty()) << c.args.front() << ": " << cmd.error.toStdString();
        EXPECT_EQ(cmd.demo, c.demo) << c.args.front();
        EXPECT_EQ(cmd.platformNamed, c.platformNamed) << c.args.front();
    }
    EXPECT_TRUE(Parse({"-platform", "xcb", "--version"}).version);
    for (const std::vector<const char*>& bad :
         {std::vector<const char*>{"xcb"}, {"-"}, {"--frobnicate"}, {"-reverse", "Fusion"}})
        EXPECT_TRUE(Parse(bad).error.contains("unknown argument: " + QString(bad.back())))
            << bad.back();
}

}  // namespace
