#include "mqtt/MqttOptions.h"

#include <charconv>

namespace mqtt {
namespace {

constexpr int kMqttPort = 1883;
constexpr int kMqttsPort = 8883;
constexpr std::size_t kLongestId = 64;
// A topic holds at most 65535 bytes: PREFIX/ID/availability must fit.
constexpr std::size_t kLongestPrefix =
    65535 - kLongestId - std::string_view("//availability").size();

// What a user's text looked like, safe to print.
std::string Shown(std::string_view text) {
    std::string shown;
    for (const char c : text.substr(0, 64)) {
        const auto byte = static_cast<unsigned char>(c);
        shown += byte >= 0x20 && byte < 0x7F ? c : '?';
    }
    return text.size() > 64 ? shown + "..." : shown;
}

// Well-formed UTF-8 without the code points a topic may not hold: controls (C0, DEL, C1), the
// non-characters U+FDD0..U+FDEF and U+xFFFE/U+xFFFF.
bool ValidTopicText(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size()) {
        const auto lead = static_cast<unsigned char>(text[at]);
        std::size_t length = 0;
        char32_t code = 0;
        if (lead < 0x80) {
            length = 1;
            code = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07u;
        } else {
            return false;
        }
        if (at + length > text.size())
            return false;
        for (std::size_t i = 1; i < length; ++i) {
            const auto next = static_cast<unsigned char>(text[at + i]);
            if ((next & 0xC0u) != 0x80u)
                return false;
            code = (code << 6) | (next & 0x3Fu);
        }
        const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) ||
            code < 0x20 || (code >= 0x7F && code <= 0x9F) || (code >= 0xFDD0 && code <= 0xFDEF) ||
            (code & 0xFFFEu) == 0xFFFEu)
            return false;
        at += length;
    }
    return true;
}

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
    // Before the port: in "user:pw@host" the colon is no port's.
    if (authority.find('@') != std::string_view::npos)
        return "--mqtt: a user or password does not go in the URL: use --mqtt-user and "
               "--mqtt-password-file";
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
    if (authority.empty())
        return "--mqtt: the URL names no host";
    options.host = std::string(authority);
    if (auto bad = TopicPrefixProblem(options.prefix))
        return "--mqtt: the topic prefix " + *bad;
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

std::optional<std::string> TopicPrefixProblem(std::string_view prefix) {
    const std::string quoted = "'" + Shown(prefix) + "'";
    if (prefix.size() > kLongestPrefix)
        return "is longer than " + std::to_string(kLongestPrefix) + " bytes";
    if (prefix.starts_with('$'))
        return quoted +
               " starts with '$': such topics are the broker's own ($SYS), which it "
               "never takes from a client";
    if (!ValidTopicText(prefix))
        return quoted + " is not UTF-8 text without control characters";
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = prefix.find('/', start);
        const std::string_view level = prefix.substr(start, slash - start);
        if (level.empty() || level.find_first_of("+#") != std::string_view::npos)
            return quoted + " has an empty level or holds '+' or '#'";
        if (slash == std::string_view::npos)
            return std::nullopt;
        start = slash + 1;
    }
}

bool IsTopicPrefix(std::string_view prefix) {
    return !TopicPrefixProblem(prefix);
}

std::string ClientId(std::string_view prefix, std::string_view scaleId) {
    return "karvel/" + std::string(prefix) + "/" + std::string(scaleId);
}

posix::Status TakeBrokerUrl(std::string_view url, MqttOptions& options) {
    options.url = std::string(url);
    if (auto bad = ParseUrl(url, options))
        return cli::Refuse(*bad);
    return posix::Success();
}

namespace {

using Value = std::optional<std::string_view>;

posix::Status TakeQueue(std::string_view value, MqttOptions& options) {
    std::size_t limit = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), limit);
    options.queueLimit = limit;
    if (ec != std::errc() || end != value.data() + value.size() || limit == 0)
        return cli::Refuse("--mqtt-queue needs a number of readings above 0");
    return posix::Success();
}

// Names that are refused with the reason, whatever follows them.
void AddRefusals(cli::OptionTable& table) {
    table.Add({.name = "--mqtt-keys",
               .apply =
                   [](Value) {
                       return cli::Refuse(
                           "--mqtt-keys is karvel-read's: the panel's keys are its buttons");
                   },
               .programs = cli::kPanel,
               .takes = cli::Takes::kOptionalValue,
               .hidden = true});
    table.Add(
        {.name = "--mqtt-password",
         .apply =
             [](Value) {
                 return cli::Refuse(
                     "a password is never given on the command line: use --mqtt-password-file");
             },
         .takes = cli::Takes::kOptionalValue,
         .hidden = true});
}

}  // namespace

void AddMqttOptions(cli::OptionTable& table, MqttOptions& options) {
    table.Add({.name = "--mqtt",
               .value = "URL",
               .help = "publish to mqtt://host[:port][/prefix] (mqtts:// for TLS; default prefix "
                       "karvel)",
               .apply = [&options](Value url) { return TakeBrokerUrl(*url, options); },
               .programs = cli::kBoth});
    table.Add({.name = "--mqtt-cafile",
               .value = "FILE",
               .help = "certificate authority for mqtts://",
               .apply = cli::Keep(options.caFile, "--mqtt-cafile needs a file"),
               .programs = cli::kBoth});
    table.Add({.name = "--mqtt-user",
               .value = "NAME",
               .help = "log in as NAME",
               .apply = cli::Keep(options.user, "--mqtt-user needs a name"),
               .programs = cli::kBoth});
    table.Add({.name = "--mqtt-password-file",
               .value = "FILE",
               .help = "the password, from a file (never on the command line)",
               .apply = cli::Keep(options.passwordFile, "--mqtt-password-file needs a file"),
               .programs = cli::kBoth});
    table.Add({.name = "--mqtt-discovery",
               .help = "publish a Home Assistant discovery record",
               .apply = cli::Set(options.discovery),
               .programs = cli::kBoth});
    table.Add({.name = "--mqtt-keys",
               .help = "accept key names on PREFIX/ID/key (off by default)",
               .apply = cli::Set(options.keys),
               .programs = cli::kReader});
    table.Add({.name = "--mqtt-queue",
               .value = "N",
               .help = "readings kept while the broker is away (100000)",
               .apply = [&options](Value value) { return TakeQueue(*value, options); },
               .programs = cli::kBoth});
    AddRefusals(table);
}

void AddIdOption(cli::OptionTable& table, std::string& id, std::string help) {
    table.Add({.name = "--id",
               .value = "NAME",
               .help = std::move(help),
               .apply =
                   [&id](std::optional<std::string_view> value) {
                       id = std::string(*value);
                       if (IsScaleId(id))
                           return posix::Success();
                       return cli::Refuse(
                           "--id may hold only letters, digits, '-', '_' and '.' (1 to 64 of "
                           "them)");
                   },
               .programs = cli::kBoth});
}

posix::Status CheckMqttOptions(const MqttOptions& options) {
    const bool anyOther = !options.caFile.empty() || !options.user.empty() ||
                          !options.passwordFile.empty() || options.discovery || options.keys;
    if (!options.Enabled())
        return anyOther ? cli::Refuse("the --mqtt-... options need --mqtt URL") : posix::Success();
    if (!options.caFile.empty() && !options.tls)
        return cli::Refuse("--mqtt-cafile needs an mqtts:// URL");
    if (!options.passwordFile.empty() && options.user.empty())
        return cli::Refuse("--mqtt-password-file needs --mqtt-user");
    return posix::Success();
}

}  // namespace mqtt
