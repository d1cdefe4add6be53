// The --raw lines: hex and ASCII side by side, broken at bursts, 16 bytes and frame starts.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "record/RawLines.h"

namespace {

using Clock = record::RawLines::Clock;

// One burst is bytes added together; each burst ends with a flush, and so does the table's end.
struct Burst {
    std::vector<int> bytes;  // -1: the next byte is a frame start's aa
};

std::vector<std::string> LinesOf(const std::vector<Burst>& bursts) {
    record::RawLines lines;
    const Clock::time_point noon = Clock::time_point(std::chrono::hours(24 * 20000 + 12));
    std::vector<std::string> out;
    for (const Burst& burst : bursts) {
        bool start = false;
        for (const int b : burst.bytes) {
            if (b < 0) {
                start = true;
                continue;
            }
            if (auto line = lines.Add(static_cast<std::uint8_t>(b), start, noon))
                out.push_back(*line);
            start = false;
        }
        if (auto line = lines.Flush())
            out.push_back(*line);
    }
    return out;
}

TEST(RawLines, HexAndAsciiSideBySideBrokenAtBurstsSixteenBytesAndFrameStarts) {
    const std::string t = "2024-10-04T12:00:00.000Z  ";
    struct Case {
        const char* what;
        std::vector<Burst> bursts;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"one burst",
         {{{0x41, 0x20, 0x7E, 0x7F, 0x00}}},
         {t + "41 20 7e 7f 00                                   |A ~..|\n"}},
        {"a frame start moves its 06 to a line of its own",
         {{{0x41, 0x06, -1, 0xAA, 0xAA}}},
         {t + "41                                               |A|\n",
          t + "06 aa aa                                         |...| <- frame start\n"}},
        {"its 06 came in the burst before",
         {{{0x41, 0x06}}, {{-1, 0xAA, 0x30}}},
         {t + "41 06                                            |A.|\n",
          t + "aa 30                                            |.0| <- frame start\n"}},
        {"sixteen bytes a line",
         {{{0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x61, 0x62, 0x63, 0x64,
            0x65, 0x66, 0x67}}},
         {t + "30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66  |0123456789abcdef|\n",
          t + "67                                               |g|\n"}},
        {"nothing received, nothing printed", {{{}}}, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LinesOf(c.bursts), c.lines) << c.what;
}

}  // namespace
