#include "bench/mirror/MirrorFigures.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace mirror {

namespace {

constexpr std::string_view kStart = "report";
constexpr std::string_view kEnd = "end";

bool SplitWord(std::string_view& line, std::string_view& word) {
    const std::size_t space = line.find(' ');
    word = line.substr(0, space);
    line = space == std::string_view::npos ? std::string_view{} : line.substr(space + 1);
    return !word.empty();
}

template <typename T>
bool ParseNumber(std::string_view text, T& out) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::uint8_t FrameTag(std::uint64_t seq) {
    return static_cast<std::uint8_t>(seq & 0xFF);
}

std::string BalanceLine(std::uint64_t seq) {
    char line[32];
    std::snprintf(line, sizeof line, "S S %9u.000 g\r\n", unsigned{FrameTag(seq)});
    return line;
}

std::string ReadyLine() {
    char line[32];
    std::snprintf(line, sizeof line, "S S %9.3f g\r\n", kReadyWeight);
    return line;
}

std::string FormatReport(const ReaderReport& report) {
    std::string text(kStart);
    char line[96];
    std::snprintf(line, sizeof line, "\ncpu_s %.6f\nwall_s %.6f\n", report.cpuSeconds,
                  report.wallSeconds);
    text += line;
    text += "switches_voluntary " + std::to_string(report.voluntarySwitches) + '\n';
    text += "switches_involuntary " + std::to_string(report.involuntarySwitches) + '\n';
    text += "frames " + std::to_string(report.frames) + '\n';
    text += "rss_growth_kb " + std::to_string(report.residentGrowthKb) + '\n';
    for (const PaintMark& paint : report.paints)
        text += "paint " + std::to_string(paint.tag) + ' ' + std::to_string(paint.ns) + '\n';
    text += kEnd;
    text += '\n';
    return text;
}

std::optional<ReaderReport> ParseReport(std::string_view text, std::string* error) {
    ReaderReport report;
    bool started = false;
    int fields = 0;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
        if (!started) {
            started = line == kStart;
            continue;
        }
        if (line == kEnd) {
            if (fields == 5)
                return report;
            break;
        }
        std::string_view key;
        SplitWord(line, key);
        bool ok = false;
        if (key == "cpu_s" || key == "wall_s") {
            // from_chars for double is in libstdc++ 11 and later.
            ok = ParseNumber(line, key == "cpu_s" ? report.cpuSeconds : report.wallSeconds);
            ++fields;
        } else if (key == "switches_voluntary") {
            ok = ParseNumber(line, report.voluntarySwitches);
            ++fields;
        } else if (key == "switches_involuntary") {
            ok = ParseNumber(line, report.involuntarySwitches);
            ++fields;
        } else if (key == "frames") {
            ok = ParseNumber(line, report.frames);
            ++fields;
        } else if (key == "rss_growth_kb") {
            ok = ParseNumber(line, report.residentGrowthKb);  // not in every report
        } else if (key == "paint") {
            std::string_view tag;
            unsigned tagValue = 0;
            PaintMark mark;
            ok = SplitWord(line, tag) && ParseNumber(tag, tagValue) && tagValue <= 0xFF &&
                 ParseNumber(line, mark.ns);
            mark.tag = static_cast<std::uint8_t>(tagValue);
            report.paints.push_back(mark);
        }
        if (!ok) {
            *error = "bad report line: '" + std::string(key) + ' ' + std::string(line) + "'";
            return std::nullopt;
        }
    }
    *error = started ? "the report is incomplete" : "no report";
    return std::nullopt;
}

Latencies FrameToPaint(std::span<const std::int64_t> writes, std::span<const PaintMark> paints) {
    Latencies result;
    std::vector<bool> shown(writes.size(), false);
    std::uint64_t shownCount = 0;
    for (const PaintMark& paint : paints) {
        // The frames written by the end of this paint, newest first, until one has its tag.
        auto after = std::upper_bound(writes.begin(), writes.end(), paint.ns);
        std::size_t s = static_cast<std::size_t>(after - writes.begin());
        while (s > 0 && FrameTag(s - 1) != paint.tag)
            --s;
        if (s == 0 || shown[s - 1])
            continue;
        shown[s - 1] = true;
        ++shownCount;
        result.micros.push_back(static_cast<double>(paint.ns - writes[s - 1]) / 1000.0);
    }
    result.framesNotShown = writes.size() - shownCount;
    return result;
}

}  // namespace mirror
