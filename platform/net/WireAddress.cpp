#include "platform/net/WireAddress.h"

#include <charconv>

namespace net {
namespace {

constexpr std::string_view kSeparator = "://";
constexpr std::string_view kForms = "give tcp://HOST:PORT or rfc2217://HOST:PORT";

posix::SystemError Wrong(std::string_view text, const std::string& why) {
    return posix::SystemError::Because("'" + std::string(text) + "': " + why);
}

// HOST and the text after it ("[::1]:4001" -> "::1", ":4001").
bool SplitHost(std::string_view rest, std::string_view* host, std::string_view* after) {
    if (rest.starts_with('[')) {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos)
            return false;
        *host = rest.substr(1, close - 1);
        *after = rest.substr(close + 1);
        return true;
    }
    const std::size_t colon = rest.rfind(':');
    *host = rest.substr(0, colon);
    *after = colon == std::string_view::npos ? std::string_view() : rest.substr(colon);
    // An IPv6 address has more colons: it needs its brackets.
    return host->find(':') == std::string_view::npos;
}

}  // namespace

bool NamesWire(std::string_view text) {
    const std::size_t at = text.find(kSeparator);
    return at != std::string_view::npos && at > 0 &&
           text.substr(0, at).find('/') == std::string_view::npos;
}

posix::Result<WireAddress> ParseWire(std::string_view text) {
    const std::size_t at = text.find(kSeparator);
    if (at == std::string_view::npos)
        return Wrong(text, "not a network wire; " + std::string(kForms));
    WireAddress address;
    const std::string_view scheme = text.substr(0, at);
    if (scheme == "tcp")
        address.scheme = Scheme::kTcp;
    else if (scheme == "rfc2217")
        address.scheme = Scheme::kRfc2217;
    else
        return Wrong(text, "unknown scheme '" + std::string(scheme) + "'; " + std::string(kForms));
    std::string_view host;
    std::string_view after;
    if (!SplitHost(text.substr(at + kSeparator.size()), &host, &after))
        return Wrong(text, "an IPv6 address goes in brackets: [ADDRESS]:PORT");
    if (host.empty())
        return Wrong(text, "no host; " + std::string(kForms));
    if (after.empty())
        return Wrong(text, "no port; " + std::string(kForms));
    const std::string_view digits = after.substr(1);
    unsigned port = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (!after.starts_with(':') || digits.empty() || error != std::errc() ||
        end != digits.data() + digits.size() || port == 0 || port > 65535)
        return Wrong(text, "the port must be a number from 1 to 65535, after the host and ':'");
    address.host = std::string(host);
    address.port = static_cast<std::uint16_t>(port);
    return address;
}

std::string WireText(const WireAddress& address) {
    const bool v6 = address.host.find(':') != std::string::npos;
    return std::string(address.scheme == Scheme::kTcp ? "tcp" : "rfc2217") + "://" +
           (v6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port);
}

}  // namespace net
