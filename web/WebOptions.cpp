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

std::size_t TakeWebOption(std::span<const std::string_view> args, std::size_t at,
                          WebOptions& options, std::string* error) {
    const std::string_view name = args[at];
    if (name == "--http-keys") {
        options.keys = true;
        return 1;
    }
    const bool takesValue = name == "--http" || name == "--http-token-file" ||
                            name == "--http-origin" || name == "--http-clients" ||
                            name == "--board";
    if (!takesValue) {
        if (!name.starts_with("--http"))
            return 0;
        *error = name == "--http-token"
                     ? "a token is never given on the command line: use --http-token-file"
                     : std::string(name) + ": no such option";
        return 1;
    }
    if (at + 1 >= args.size()) {
        *error = std::string(name) + " needs a value";
        return 1;
    }
    const std::string_view value = args[at + 1];
    if (name == "--board") {
        // The broker's URL as --mqtt takes it, and said so.
        options.board = std::string(value);
        const std::string_view asMqtt[] = {"--mqtt", value};
        std::string why;
        mqtt::TakeMqttOption(asMqtt, 0, options.boardBroker, &why);
        if (!why.empty())
            *error = "--board" + why.substr(std::string_view("--mqtt").size());
    } else if (name == "--http") {
        options.listen = std::string(value);
        if (auto bad = ParseListen(value, options))
            *error = *bad;
    } else if (name == "--http-token-file") {
        options.tokenFile = std::string(value);
        if (value.empty())
            *error = "--http-token-file needs a file name";
    } else if (name == "--http-origin") {
        if (const auto origin = ParseOrigin(value))
            options.origins.push_back(*origin);
        else
            *error =
                "--http-origin needs one origin such as https://shop.example:8443 (no "
                "path, no wildcard)";
    } else {
        std::size_t limit = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), limit);
        if (ec != std::errc() || end != value.data() + value.size() || limit == 0)
            *error = "--http-clients needs a number of connections above 0";
        options.clients = limit;
    }
    return 2;
}

std::optional<std::string> CheckWebOptions(const WebOptions& options, bool credentials) {
    if (!options.Enabled()) {
        if (options.keys || !options.tokenFile.empty() || !options.origins.empty() ||
            options.clients != kDefaultClients)
            return "the --http-... options need --http [ADDRESS:]PORT";
        if (options.Board())
            return "--board serves its page over HTTP: give --http [ADDRESS:]PORT";
        return std::nullopt;
    }
    if (options.Board() && options.keys)
        return "--board shows scales; it sends no keys (--http-keys goes with a scale's reader)";
    if (options.keys && options.tokenFile.empty() && !credentials)
        return "--http-keys needs a token: --http-token-file FILE (or the systemd credential "
               "http-token)";
    if (!options.tokenFile.empty() && !options.keys)
        return "--http-token-file is the token of --http-keys";
    return std::nullopt;
}

std::string WebUsage() {
    return "  --http [ADDRESS:]PORT      serve readings over HTTP, Server-Sent Events and a\n"
           "                             WebSocket, and the live page at / (address 127.0.0.1\n"
           "                             unless one is given; port 0: any free one, said at "
           "start)\n"
           "  --http-keys                take keys on POST /api/v1/keys and the WebSocket, with\n"
           "                             the token as 'Authorization: Bearer TOKEN'\n"
           "  --http-token-file FILE     the token of --http-keys, one line (never on the command\n"
           "                             line; a service gets it as the credential http-token)\n"
           "  --http-origin ORIGIN       let web pages of ORIGIN (https://host[:port]) call the\n"
           "                             API; repeatable, no wildcard\n"
           "  --http-clients N           connections served at once (1000)\n"
           "  --board URL                open no port: serve one board of every scale that\n"
           "                             publishes to mqtt://broker[:port][/prefix], with --http;\n"
           "                             --mqtt-user, --mqtt-password-file and --mqtt-cafile\n"
           "                             log it in\n";
}

}  // namespace web
