#include "web/WebOptions.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace web {
namespace {

std::optional<int> PortNumber(std::string_view text) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 0 ||
        value > 65535)
        return std::nullopt;
    return value;
}

bool IsIpv4(std::string_view text) {
    int parts = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = text.find('.', start);
        const std::string_view part = text.substr(start, dot - start);
        int value = 0;
        const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (part.empty() || part.size() > 3 || ec != std::errc() ||
            end != part.data() + part.size() || value > 255)
            return false;
        ++parts;
        if (dot == std::string_view::npos)
            return parts == 4;
        start = dot + 1;
    }
}

bool IsIpv6(std::string_view text) {
    return text.find(':') != std::string_view::npos &&
           std::all_of(text.begin(), text.end(), [](char c) {
               return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
           });
}

// [ADDR:]PORT, ADDR an IPv4 address or an IPv6 one in brackets.
std::optional<std::string> ParseListen(std::string_view value, WebOptions& options) {
    constexpr std::string_view kForm =
        "--http needs [ADDRESS:]PORT (8080, 0.0.0.0:8080, [::1]:8080)";
    std::string_view address, port = value;
    if (value.starts_with('[')) {
        const std::size_t close = value.find("]:");
        if (close == std::string_view::npos)
            return std::string(kForm);
        address = value.substr(1, close - 1);
        port = value.substr(close + 2);
        if (!IsIpv6(address))
            return "--http: '" + std::string(address) + "' is no IPv6 address";
    } else if (const std::size_t colon = value.rfind(':'); colon != std::string_view::npos) {
        address = value.substr(0, colon);
        port = value.substr(colon + 1);
        if (!IsIpv4(address))
            return "--http: '" + std::string(address) +
                   "' is no IPv4 address (an IPv6 one goes in brackets)";
    }
    const std::optional<int> number = PortNumber(port);
    if (!number)
        return std::string(kForm);
    options.port = *number;
    if (!address.empty())
        options.address = std::string(address);
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ParseOrigin(std::string_view origin) {
    std::string text(origin);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::string_view rest = text;
    if (rest.starts_with("http://"))
        rest.remove_prefix(7);
    else if (rest.starts_with("https://"))
        rest.remove_prefix(8);
    else
        return std::nullopt;
    if (rest.empty() || rest.find_first_of("/?#@*\\ ") != std::string_view::npos)
        return std::nullopt;
    const bool plain = std::all_of(rest.begin(), rest.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '.' || c == '-' || c == ':' || c == '[' || c == ']';
    });
    if (!plain)
        return std::nullopt;
    return text;
}

namespace {

using Value = std::optional<std::string_view>;

posix::Status TakeBoard(std::string_view url, WebOptions& options) {
    // The broker's URL as --mqtt takes it, and said so.
    options.board = std::string(url);
    const posix::Status taken = mqtt::TakeBrokerUrl(url, options.boardBroker);
    if (taken)
        return taken;
    return cli::Refuse("--board" + taken.Error().text.substr(std::string_view("--mqtt").size()));
}

posix::Status TakeClients(std::string_view value, WebOptions& options) {
    std::size_t limit = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), limit);
    options.clients = limit;
    if (ec != std::errc() || end != value.data() + value.size() || limit == 0)
        return cli::Refuse("--http-clients needs a number of connections above 0");
    return posix::Success();
}

posix::Status TakeOrigin(std::string_view value, WebOptions& options) {
    const auto origin = ParseOrigin(value);
    if (!origin)
        return cli::Refuse(
            "--http-origin needs one origin such as https://shop.example:8443 (no path, no "
            "wildcard)");
    options.origins.push_back(*origin);
    return posix::Success();
}

}  // namespace

void AddWebOptions(cli::OptionTable& table, WebOptions& options) {
    table.Add({.name = "--http",
               .value = "[ADDRESS:]PORT",
               .help = "serve readings over HTTP, Server-Sent Events and a WebSocket, and the live "
                       "page at / (address 127.0.0.1 unless one is given; port 0: any free one, "
                       "said at start)",
               .apply =
                   [&options](Value value) {
                       options.listen = std::string(*value);
                       if (auto bad = ParseListen(*value, options))
                           return cli::Refuse(*bad);
                       return posix::Success();
                   },
               .programs = cli::kReader});
    table.Add({.name = "--http-keys",
               .help = "take keys on POST /api/v1/keys and the WebSocket, with the token as "
                       "'Authorization: Bearer TOKEN'",
               .apply = cli::Set(options.keys),
               .programs = cli::kReader});
    table.Add({.name = "--http-token-file",
               .value = "FILE",
               .help = "the token of --http-keys, one line (never on the command line; a service "
                       "gets it as the credential http-token)",
               .apply = cli::Keep(options.tokenFile, "--http-token-file needs a file name"),
               .programs = cli::kReader});
    table.Add({.name = "--http-origin",
               .value = "ORIGIN",
               .help = "let web pages of ORIGIN (https://host[:port]) call the API; repeatable, "
                       "no wildcard",
               .apply = [&options](Value value) { return TakeOrigin(*value, options); },
               .programs = cli::kReader});
    table.Add({.name = "--http-clients",
               .value = "N",
               .help = "connections served at once (1000)",
               .apply = [&options](Value value) { return TakeClients(*value, options); },
               .programs = cli::kReader});
    table.Add({.name = "--board",
               .value = "URL",
               .help = "open no port: serve one board of every scale that publishes to "
                       "mqtt://broker[:port][/prefix], with --http; --mqtt-user, "
                       "--mqtt-password-file and --mqtt-cafile log it in",
               .apply = [&options](Value value) { return TakeBoard(*value, options); },
               .programs = cli::kReader});
    table.Add({.name = "--http-token",
               .apply =
                   [](Value) {
                       return cli::Refuse(
                           "a token is never given on the command line: use --http-token-file");
                   },
               .programs = cli::kReader,
               .takes = cli::Takes::kOptionalValue,
               .hidden = true});
}

posix::Status CheckWebOptions(const WebOptions& options, bool credentials) {
    if (!options.Enabled()) {
        if (options.keys || !options.tokenFile.empty() || !options.origins.empty() ||
            options.clients != kDefaultClients)
            return cli::Refuse("the --http-... options need --http [ADDRESS:]PORT");
        if (options.Board())
            return cli::Refuse("--board serves its page over HTTP: give --http [ADDRESS:]PORT");
        return posix::Success();
    }
    if (options.Board() && options.keys)
        return cli::Refuse(
            "--board shows scales; it sends no keys (--http-keys goes with a scale's reader)");
    if (options.keys && options.tokenFile.empty() && !credentials)
        return cli::Refuse(
            "--http-keys needs a token: --http-token-file FILE (or the systemd credential "
            "http-token)");
    if (!options.tokenFile.empty() && !options.keys)
        return cli::Refuse("--http-token-file is the token of --http-keys");
    return posix::Success();
}

}  // namespace web
