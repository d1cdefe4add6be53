// The --http options as karvel-read takes them: what they listen on, and what is refused.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "read/ReadOptions.h"
#include "tools/peers/TestFiles.h"
#include "web/Token.h"

namespace reader {
namespace {

TEST(WebOptions, RefusesWhatCannotBeUsed) {
    const struct {
        std::vector<std::string_view> args;
        bool credentials;
        std::string_view says;
    } cases[] = {
        {{"--http", "http://localhost:80"}, false, "is no IPv4 address"},
        {{"--http", "80x"}, false, "[ADDRESS:]PORT"},
        {{"--http", "65536"}, false, "[ADDRESS:]PORT"},
        {{"--http", "localhost:8080"}, false, "is no IPv4 address"},
        {{"--http", "::1:8080"}, false, "is no IPv4 address"},
        {{"--http", "[::g]:8080"}, false, "is no IPv6 address"},
        {{"--http", "1.2.3.256:80"}, false, "is no IPv4 address"},
        {{"--http-keys"}, false, "need --http"},
        {{"--http-origin", "https://a.example"}, false, "need --http"},
        {{"--http", "80", "--http-keys"}, false, "needs a token"},
        {{"--http", "80", "--http-token-file", "t"}, false, "the token of --http-keys"},
        {{"--http", "80", "--http-token", "abc"}, false, "never given on the command line"},
        {{"--http", "80", "--http-origin", "*"}, false, "no wildcard"},
        {{"--http", "80", "--http-origin", "https://a.example/"}, false, "no path"},
        {{"--http", "80", "--http-origin", "null"}, false, "no wildcard"},
        {{"--http", "80", "--http-origin", "https://*.a.example"}, false, "no wildcard"},
        {{"--http", "80", "--http-clients", "0"}, false, "above 0"},
        {{"--http", "80", "--raw"}, false, "does not go with --http"},
        {{"--http", "80", "--http-colour"}, false, "no such option"},
        {{"--board", "mqtt://broker/plant"}, false, "give --http"},
        {{"--board", "http://broker", "--http", "80"}, false, "--board needs mqtt://"},
        {{"--board", "mqtt://broker/a/+", "--http", "80"}, false, "holds '+' or '#'"},
        {{"--board", "mqtt://b", "--http", "80", "--port", "COM1"}, false, "opens no port"},
        {{"--board", "mqtt://b", "--http", "80", "--mqtt", "mqtt://b"}, false, "opens no port"},
        {{"--board", "mqtt://b", "--http", "80", "--http-keys"}, true, "sends no keys"},
        {{"--board", "mqtt://b", "--http", "80", "--mqtt-cafile", "ca.pem"},
         false,
         "--board: --mqtt-cafile needs an mqtts:// URL"},
        {{"--board", "mqtt://b", "--http", "80", "--mqtt-password-file", "pw"},
         false,
         "--board: --mqtt-password-file needs --mqtt-user"},
        {{"--board", "mqtt://b", "--http", "80", "--mqtt-discovery"}, false, "need --mqtt URL"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(ParseReadOptions(c.args, &error, c.credentials).has_value()) << c.says;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
    }
}

// A token another user could have written is refused for what it is: the key to the scale's keys.
TEST(WebOptions, ATokenAnotherUserOwnsIsRefusedForWhatItGuards) {
    testing_support::TempDir dir;
    const std::string path = (dir.Path() / "token").string();
    testing_support::WriteFile(path, "0123456789abcdef0123\n");
    ::chmod(path.c_str(), 0600);
    if (::geteuid() != 0 || ::chown(path.c_str(), 65534, 65534) != 0)
        GTEST_SKIP() << "giving a file to another user needs root";
    const auto token = web::ReadToken(path);
    ASSERT_FALSE(token);
    EXPECT_NE(token.Error().text.find("decides who may press the scale's keys"), std::string::npos)
        << token.Error().text;
    EXPECT_EQ(token.Error().text.find("which code runs"), std::string::npos) << token.Error().text;
}

TEST(WebOptions, ListensOnLoopbackUnlessAnAddressIsNamed) {
    const struct {
        std::vector<std::string_view> args;
        std::string_view address;
        int port;
        bool loopback;
    } cases[] = {
        {{"--http", "8080"}, "127.0.0.1", 8080, true},
        {{"--http", "0"}, "127.0.0.1", 0, true},
        {{"--http", "0.0.0.0:80"}, "0.0.0.0", 80, false},
        {{"--http", "192.168.1.5:8080"}, "192.168.1.5", 8080, false},
        {{"--http", "[::1]:8080"}, "::1", 8080, true},
        {{"--http", "[::]:8080"}, "::", 8080, false},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto options = ParseReadOptions(c.args, &error);
        ASSERT_TRUE(options.has_value()) << error;
        EXPECT_EQ(options->http.address, c.address);
        EXPECT_EQ(options->http.port, c.port);
        EXPECT_EQ(options->http.Loopback(), c.loopback) << c.address;
    }
}

TEST(WebOptions, KeysTakeTheTokenFromACredentialWhenThereIsOne) {
    std::string error;
    const std::vector<std::string_view> args = {"--http", "80", "--http-keys"};
    EXPECT_TRUE(ParseReadOptions(args, &error, true).has_value()) << error;
    const std::vector<std::string_view> origins = {"--http",        "80",
                                                   "--http-origin", "HTTPS://Shop.Example:8443",
                                                   "--http-origin", "http://[::1]:3000"};
    const auto options = ParseReadOptions(origins, &error);
    ASSERT_TRUE(options.has_value()) << error;
    // As a browser sends them in Origin.
    EXPECT_EQ(options->http.origins,
              (std::vector<std::string>{"https://shop.example:8443", "http://[::1]:3000"}));
}

TEST(WebOptions, ABoardLogsInWithTheBrokerOptions) {
    std::string error;
    const std::vector<std::string_view> args = {
        "--board", "mqtts://broker/plant", "--http", "80", "--mqtt-user", "board", "--mqtt-cafile",
        "ca.pem",  "--mqtt-password-file", "pw"};
    const auto options = ParseReadOptions(args, &error);
    ASSERT_TRUE(options.has_value()) << error;
    const mqtt::MqttOptions& login = options->http.boardBroker;
    EXPECT_EQ(login.user, "board");
    EXPECT_EQ(login.passwordFile, "pw");
    EXPECT_EQ(login.caFile, "ca.pem");
    EXPECT_TRUE(login.tls);
    EXPECT_FALSE(options->mqtt.Enabled());  // nothing is published
}

}  // namespace
}  // namespace reader
