#pragma once

// The --http options of karvel-read. Plain C++: no Qt, no server library.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mqtt/MqttOptions.h"
#include "platform/cli/OptionTable.h"
#include "platform/posix/Result.h"

namespace web {

inline constexpr std::string_view kLoopback = "127.0.0.1";
inline constexpr std::size_t kDefaultClients = 1000;

struct WebOptions {
    std::string listen;                     // as given; empty: nothing listens
    std::string address{kLoopback};         // an IPv4 or IPv6 address, without brackets
    int port = 0;                           // 0: one the system chooses (said at start)
    bool keys = false;                      // --http-keys
    std::string tokenFile;                  // --http-token-file
    std::vector<std::string> origins;       // --http-origin, normalised to lower case
    std::size_t clients = kDefaultClients;  // --http-clients
    std::string board;                      // --board URL as given; empty: one scale's reader
    mqtt::MqttOptions boardBroker;          // the broker and prefix it names

    bool Enabled() const { return !listen.empty(); }
    bool Board() const { return !board.empty(); }
    bool Loopback() const { return address == kLoopback || address == "::1"; }
};

// --http and its companions, and --board (karvel-read's).
void AddWebOptions(cli::OptionTable& table, WebOptions& options);
// Checks the options together once all are taken (`credentials`: a systemd credential folder
// may hold the token instead of --http-token-file).
posix::Status CheckWebOptions(const WebOptions& options, bool credentials);

// "http://host[:port]" in lower case, as a browser sends it in Origin; nullopt for anything
// else (a path, a wildcard, "null", user info).
std::optional<std::string> ParseOrigin(std::string_view origin);

}  // namespace web
