// The reader's command line: what it refuses and why.

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "read/ReadOptions.h"

namespace reader {
namespace {

std::string ErrorOf(std::vector<std::string_view> args) {
    std::string error;
    const auto options = ParseReadOptions(args, &error);
    EXPECT_EQ(options.has_value(), error.empty());
    return error;
}

TEST(ReadOptions, RefusesWhatCannotBeUsed) {
    const struct {
        std::vector<std::string_view> args;
        std::string_view says;
    } cases[] = {
        {{"--id", "a/b"}, "--id may hold only"},
        {{"--id", "+"}, "--id may hold only"},
        {{"--id", ""}, "--id may hold only"},
        {{"--id", ".."}, "--id may hold only"},
        {{"--mqtt", "mqtt://h/plant/+"}, "'plant/+' has an empty level or holds"},
        {{"--mqtt", "mqtt://h/plant//a"}, "empty level"},
        {{"--mqtt", "mqtt://h/#"}, "empty level or holds"},
        {{"--mqtt", "mqtt://h/"}, "empty level"},
        {{"--mqtt", "http://h"}, "--mqtt needs mqtt://"},
        {{"--mqtt", "mqtt://h:0"}, "port must be"},
        {{"--mqtt", "mqtt://user@h"}, "--mqtt-user"},
        {{"--mqtt", "mqtt://h", "--mqtt-password", "x"}, "never given on the command line"},
        {{"--mqtt", "mqtt://h", "--mqtt-cafile", "ca.pem"}, "needs an mqtts:// URL"},
        {{"--mqtt", "mqtt://h", "--mqtt-password-file", "f"}, "needs --mqtt-user"},
        {{"--mqtt-keys"}, "need --mqtt URL"},
        {{"--raw", "--mqtt", "mqtt://h"}, "does not go with --mqtt"},
        {{"--format", "xml"}, "jsonl, csv or text"},
        {{"--capture", "Change"}, "settled, data, change or every"},
        {{"--count", "0"}, "above 0"},
        {{"--count", "5x"}, "above 0"},
        {{"--port"}, "needs a value"},
        {{"--frobnicate"}, "unknown argument: --frobnicate: no such option"},
        {{"--header", "sometimes"}, "auto, always or never"},
        {{"--columns", "time_utc,weight"}, "'weight' is no column"},
        {{"--columns", "reading"}, "'reading' is no column"},
        {{"--columns", "value,value"}, "named twice"},
        {{"--columns", "value,"}, "'' is no column"},
        {{"--min-weight", "-1"}, "0 or more"},
        {{"--min-weight", "1kg"}, "0 or more"},
        {{"--min-weight", "1", "--capture", "change"}, "goes with --capture settled"},
        {{"--format", "xlsx"}, "give it with --output FILE"},
        {{"--output", "a.xlsx"}, "--output is the file of --format xlsx"},
        {{"--format", "xlsx", "--output", "a.xlsx", "--raw"}, "does not go with --format xlsx"},
        {{"--csv-decimal", ";", "--format", "csv"}, "'.' or ','"},
        {{"--csv-decimal", ","}, "goes with --format csv"},
    };
    for (const auto& c : cases)
        EXPECT_NE(ErrorOf(c.args).find(c.says), std::string::npos) << c.args[0] << " " << c.says;
}

TEST(ReadOptions, BrokerAddressesAndDefaults) {
    const struct {
        std::string_view url;
        bool tls;
        std::string_view host;
        int port;
        std::string_view prefix;
    } cases[] = {
        {"mqtt://broker", false, "broker", 1883, "karvel"},
        {"mqtts://broker.plant:9000/site/hall-2", true, "broker.plant", 9000, "site/hall-2"},
        {"mqtt://[::1]:1884", false, "::1", 1884, "karvel"},
    };
    for (const auto& c : cases) {
        std::string error;
        const std::vector<std::string_view> args{"--mqtt", c.url};
        const auto options = ParseReadOptions(args, &error);
        ASSERT_TRUE(options) << error;
        EXPECT_EQ(options->mqtt.tls, c.tls);
        EXPECT_EQ(options->mqtt.host, c.host);
        EXPECT_EQ(options->mqtt.port, c.port);
        EXPECT_EQ(options->mqtt.prefix, c.prefix);
        EXPECT_EQ(options->capture, record::CaptureRule::kChange);
        EXPECT_EQ(options->format, Format::kJsonLines);
    }
}

}  // namespace
}  // namespace reader
