#include "tools/scalesim/SimOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace scalesim {
namespace {

std::optional<SimOptions> Parse(std::vector<std::string_view> args, std::string* error) {
    return ParseSimOptions(args, error);
}

TEST(SimOptions, DefaultsServeOneScaleOnCom1) {
    std::string error;
    const auto options = Parse({}, &error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->scalePorts, std::vector<int>{1});
    EXPECT_TRUE(options->silentPorts.empty());
    EXPECT_EQ(options->framesPerSecond, 10);
    EXPECT_TRUE(options->portDir.empty());
    EXPECT_EQ(options->frameLimit, 0u);
}

TEST(SimOptions, EveryOptionIsTaken) {
    std::string error;
    const auto options = Parse({"--port-dir", "/tmp/p", "--com", "2,5", "--silent=1,32", "--rate",
                                "80", "--seed", "4294967295", "--frames=100", "--quiet",
                                "--stdin-eof", "--remove-port-dir", "--load", "12.345kg"},
                               &error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->portDir, "/tmp/p");
    EXPECT_EQ(options->scalePorts, (std::vector<int>{2, 5}));
    EXPECT_EQ(options->silentPorts, (std::vector<int>{1, 32}));
    EXPECT_EQ(options->framesPerSecond, 80);
    EXPECT_EQ(options->seed, 4294967295u);
    EXPECT_EQ(options->frameLimit, 100u);
    EXPECT_TRUE(options->quiet);
    EXPECT_TRUE(options->stopAtStdinEof);
    EXPECT_TRUE(options->removePortDir);
    EXPECT_EQ(options->loadGrams, 12345);
}

TEST(SimOptions, BadCommandLinesAreRefused) {
    const std::vector<std::vector<std::string_view>> bad = {
        {"--rate", "0"},    // no frames at all
        {"--rate", "81"},   // more than 9600 baud carries
        {"--rate", "10x"},  //
        {"--rate", "100"},  // the panel's frames are 12 bytes at 9600 baud
        {"--protocol", "sics", "--rate", "1001"},
        {"--com", "0"},         // COM numbers are 1..32
        {"--com", "33"},        //
        {"--com", "1,"},        //
        {"--com", ""},          //
        {"--silent", "1"},      // COM1 is the default scale already
        {"--com", "3,3"},       //
        {"--frames", "0"},      //
        {"--seed", "-1"},       //
        {"--port-dir"},         // value missing
        {"--port-dir", ""},     //
        {"--quiet=yes"},        //
        {"--colour"},           //
        {"--remove-port-dir"},  // which folder?
        {"--load", "1.5g"},     // whole grams only
        {"--load", "1kg", "--items", "1kg"},
    };
    for (const auto& args : bad) {
        std::string error;
        EXPECT_FALSE(Parse(args, &error)) << args[0] << " " << (args.size() > 1 ? args[1] : "");
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace scalesim
