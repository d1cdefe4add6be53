#pragma once

// What one reader process measured while it mirrored a stream, and how the latency from a
// frame's write to the paint that shows it is read from that.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace mirror {

// Each frame of the stream carries a tag in the byte after its header, which the panel ignores:
// frame s (counted from 0) carries s mod 256.
std::uint8_t FrameTag(std::uint64_t seq);

// The other stream: a balance's lines (MT-SICS) at 115 200 baud, line s weighing FrameTag(s)
// grams, so that the weight a display shows is the tag of the line it shows.
inline constexpr const char* kLineFamily = "sics";
inline constexpr int kLineBaud = 115200;
std::string BalanceLine(std::uint64_t seq);
// What the balance sends until the reader is ready: a weight no line of the stream has.
inline constexpr double kReadyWeight = 999;
std::string ReadyLine();

// The end of one paint of the display: the tag of the frame it showed and when it ended
// (steady clock, nanoseconds; the same clock in every process of the machine).
struct PaintMark {
    std::uint8_t tag = 0;
    std::int64_t ns = 0;
    bool operator==(const PaintMark&) const = default;
};

struct ReaderReport {
    double cpuSeconds = 0;   // every thread of the reader process, from ready to stop
    double wallSeconds = 0;  // the same span on the clock
    std::uint64_t voluntarySwitches = 0;
    std::uint64_t involuntarySwitches = 0;
    std::uint64_t frames = 0;           // Display calls made for complete frames
    std::int64_t residentGrowthKb = 0;  // resident memory at the stop less at ready
    std::vector<PaintMark> paints;
};

// The report as the reader prints it on standard output, and read back by the driver. Parsing
// starts at the line "report"; anything before it is ignored. Nullopt, with `error` set, when the
// text holds no complete report.
std::string FormatReport(const ReaderReport& report);
std::optional<ReaderReport> ParseReport(std::string_view text, std::string* error);

struct Latencies {
    std::vector<double> micros;        // one per frame shown, in the order shown
    std::uint64_t framesNotShown = 0;  // frames written that no paint showed (superseded)
};

// `writes[s]` is when frame s's last byte was written (nanoseconds, ascending). A paint shows the
// latest frame with its tag written before the paint ended; each frame counts once, at the first
// paint that shows it. Paints that show no written frame (before the stream) are ignored.
Latencies FrameToPaint(std::span<const std::int64_t> writes, std::span<const PaintMark> paints);

}  // namespace mirror
