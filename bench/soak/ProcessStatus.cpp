#include "bench/soak/ProcessStatus.h"

#include <charconv>
#include <fstream>
#include <sstream>

namespace soak {

std::optional<long> StatusKb(std::string_view statusText, std::string_view field) {
    std::size_t at = 0;
    while (at < statusText.size()) {
        std::size_t end = statusText.find('\n', at);
        if (end == std::string_view::npos)
            end = statusText.size();
        std::string_view line = statusText.substr(at, end - at);
        at = end + 1;
        if (line.size() <= field.size() || line.substr(0, field.size()) != field ||
            line[field.size()] != ':')
            continue;
        line.remove_prefix(field.size() + 1);
        const std::size_t digits = line.find_first_not_of(" \t");
        if (digits == std::string_view::npos)
            return std::nullopt;
        line.remove_prefix(digits);
        long value = 0;
        const auto [rest, ec] = std::from_chars(line.data(), line.data() + line.size(), value);
        if (ec != std::errc() || std::string_view(rest, line.data() + line.size()) != " kB")
            return std::nullopt;
        return value;
    }
    return std::nullopt;
}

std::string ReadOwnStatus() {
    std::ifstream file("/proc/self/status");
    if (!file)
        return {};
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string CompactSeries(const std::vector<long>& values) {
    std::string text;
    for (std::size_t i = 0; i < values.size();) {
        std::size_t run = 1;
        while (i + run < values.size() && values[i + run] == values[i])
            ++run;
        if (!text.empty())
            text += ' ';
        text += std::to_string(values[i]);
        if (run > 1)
            text += '*' + std::to_string(run);
        i += run;
    }
    return text;
}

}  // namespace soak
