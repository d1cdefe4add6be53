#include "mqtt/MqttOptions.h"

#include <charconv>

namespace mqtt {
namespace {

constexpr int kMqttPort = 1883;
constexpr int kMqttsPort = 8883;
constexpr std::size_t kLongestId = 64;

std::optional<int> PortNumber(std::string_view text) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 1 || value > 65535)
        return std::nullopt;
    return value;
}

// mqtt://host[:port][/prefix] or mqtts://...
std::optional<std::string> ParseUrl(std::string_view url, MqttOptions& options) {
    constexpr std::string_view kPlain = "mqtt://", kTls = "mqtts://";
    std::string_view rest;
    if (url.starts_with(kPlain)) {
        rest = url.substr(kPlain.size());
    } else if (url.starts_with(kTls)) {
        rest = url.substr(kTls.size());
        options.tls = true;
    } else {
        return "--mqtt needs mqtt://host[:port][/prefix] or mqtts://...";
    }
    const std::size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    if (slash != std::string_view::npos)
        options.prefix = std::string(rest.substr(slash + 1));
    options.port = options.tls ? kMqttsPort : kMqttPort;
    const std::size_t colon = authority.rfind(':');
    if (colon != std::string_view::npos && authority.find(']', colon) == std::string_view::npos) {
        const std::optional<int> port = PortNumber(authority.substr(colon + 1));
        if (!port)
            return "--mqtt: the port must be a number from 1 to 65535";
        options.port = *port;
        authority = authority.substr(0, colon);
    }
    if (authority.starts_with('[') && authority.ends_with(']'))
        authority = authority.substr(1, authority.size() - 2);
    if (authority.empty() || authority.find('@') != std::string_view::npos)
        return "--mqtt: the URL names no host (a user goes in --mqtt-user)";
    options.host = std::string(authority);
    if (!IsTopicPrefix(options.prefix))
        return "--mqtt: the topic prefix '" + options.prefix +
               "' has an empty level or holds '+' or '#'";
    return std::nullopt;
}

}  // namespace

bool IsScaleId(std::string_view id) {
    if (id.empty() || id.size() > kLongestId || id == "." || id == "..")
        return false;
    for (const char c : id) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        if (!plain)
            return false;
    }
    return true;
}

bool IsTopicPrefix(std::string_view prefix) {
    if (prefix.empty())
        return false;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = prefix.find('/', start);
        const std::string_view level = prefix.substr(start, slash - start);
        if (level.empty() || level.find_first_of("+#") != std::string_view::npos)
            return false;
        for (const char c : level) {
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
        }
        if (slash == std::string_view::npos)
            return true;
        start = slash + 1;
    }
}

std::string ClientId(std::string_view prefix, std::string_view scaleId) {
    return "karvel/" + std::string(prefix) + "/" + std::string(scaleId);
}

std::size_t TakeMqttOption(std::span<const std::string_view> args, std::size_t at,
                           MqttOptions& options, std::string* error) {
    const std::string_view name = args[at];
    if (name == "--mqtt-discovery") {
        options.discovery = true;
        return 1;
    }
    if (name == "--mqtt-keys") {
        options.keys = true;
        return 1;
    }
    const bool takesValue = name == "--mqtt" || name == "--mqtt-cafile" || name == "--mqtt-user" ||
                            name == "--mqtt-password-file" || name == "--mqtt-queue";
    if (!takesValue) {
        if (!name.starts_with("--mqtt"))
            return 0;
        *error = name == "--mqtt-password"
                     ? "a password is never given on the command line: use --mqtt-password-file"
                     : std::string(name) + ": no such option";
        return 1;
    }
    if (at + 1 >= args.size()) {
        *error = std::string(name) + " needs a value";
        return 1;
    }
    const std::string value(args[at + 1]);
    if (name == "--mqtt") {
        options.url = value;
        if (auto bad = ParseUrl(value, options))
            *error = *bad;
    } else if (name == "--mqtt-cafile") {
        options.caFile = value;
    } else if (name == "--mqtt-user") {
        options.user = value;
    } else if (name == "--mqtt-password-file") {
        options.passwordFile = value;
    } else {
        std::size_t limit = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), limit);
        if (ec != std::errc() || end != value.data() + value.size() || limit == 0)
            *error = "--mqtt-queue needs a number of readings above 0";
        options.queueLimit = limit;
    }
    return 2;
}

std::optional<std::string> CheckMqttOptions(const MqttOptions& options) {
    const bool anyOther = !options.caFile.empty() || !options.user.empty() ||
                          !options.passwordFile.empty() || options.discovery || options.keys;
    if (!options.Enabled())
        return anyOther ? std::optional<std::string>("the --mqtt-... options need --mqtt URL")
                        : std::nullopt;
    if (!options.caFile.empty() && !options.tls)
        return "--mqtt-cafile needs an mqtts:// URL";
    if (!options.passwordFile.empty() && options.user.empty())
        return "--mqtt-password-file needs --mqtt-user";
    return std::nullopt;
}

std::string MqttUsage() {
    return "  --mqtt URL                 publish to mqtt://host[:port][/prefix] (mqtts:// for "
           "TLS;\n"
           "                             default prefix karvel)\n"
           "  --mqtt-cafile FILE         certificate authority for mqtts://\n"
           "  --mqtt-user NAME           log in as NAME\n"
           "  --mqtt-password-file FILE  the password, from a file (never on the command line)\n"
           "  --mqtt-discovery           publish a Home Assistant discovery record\n"
           "  --mqtt-keys                accept key names on PREFIX/ID/key (off by default)\n"
           "  --mqtt-queue N             readings kept while the broker is away (100000)\n";
}

}  // namespace mqtt
