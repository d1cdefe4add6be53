#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/SettledReading.h"

namespace {

using lumeq::SettledReading;
using std::chrono::milliseconds;

struct Shown {
    int atMs;
    const char* weight;
    bool stable;
};

// Feeds `stream` and also checks in every 10 ms between frames, as the window's timer would;
// returns "weight@ms" for each announcement.
std::vector<std::string> Announced(const std::vector<Shown>& stream, int untilMs) {
    SettledReading settle;
    const SettledReading::Clock::time_point t0{};
    std::vector<std::string> said;
    std::size_t next = 0;
    for (int ms = 0; ms <= untilMs; ms += 1) {
        const auto now = t0 + milliseconds(ms);
        bool now_said = false;
        const char* weight = nullptr;
        while (next < stream.size() && stream[next].atMs == ms) {
            weight = stream[next].weight;
            now_said = settle.Show(weight, stream[next].stable, now) || now_said;
            ++next;
        }
        if (!weight && ms % 10 == 0)
            now_said = settle.Check(now);
        if (now_said)
            said.push_back(std::to_string(ms));
    }
    return said;
}

// 80 frames a second of `weights` in turn, each frame 12 or 13 ms after the last.
std::vector<Shown> Stream(int fromMs, int toMs, const std::vector<const char*>& weights,
                          bool stable = false) {
    std::vector<Shown> frames;
    std::size_t i = 0;
    for (int ms = fromMs; ms < toMs; ms += 12 + (i % 2))
        frames.push_back({ms, weights[i++ % weights.size()], stable});
    return frames;
}

template <typename... Parts>
std::vector<Shown> Join(Parts... parts) {
    std::vector<Shown> all;
    (all.insert(all.end(), parts.begin(), parts.end()), ...);
    return all;
}

TEST(SettledReading, SaysAReadingOnceItStandsAndNeverMoreThanOnceASecond) {
    const struct {
        const char* name;
        std::vector<Shown> stream;
        int untilMs;
        std::vector<std::string> said;  // ms of each announcement
    } cases[] = {
        {"drifting digits are never said", Stream(0, 3000, {"1.001 kg", "1.002 kg"}), 3000, {}},
        {"a stable reading is said at once", Stream(0, 500, {"1.000 kg"}, true), 500, {"0"}},
        {"an unflagged reading is said after it stood still",
         Join(Stream(0, 300, {"1.001 kg", "1.002 kg"}), Stream(300, 2000, {"1.000 kg"})),
         2000,
         {"900"}},
        {"a new weight within a second waits for the second",
         Join(Stream(0, 200, {"1.000 kg"}, true), Stream(200, 2000, {"2.000 kg"}, true)),
         2000,
         {"0", "1000"}},
        {"the stable mark coming and going is no news",
         Join(Stream(0, 200, {"1.000 kg"}, true), Stream(200, 400, {"1.000 kg"}, false),
              Stream(400, 3000, {"1.000 kg"}, true)),
         3000,
         {"0"}},
        {"a blank display is not said", Stream(0, 2000, {""}, true), 2000, {}},
        {"a weight gone and back unsaid between is not said again",
         Join(Stream(0, 200, {"1.000 kg"}, true), Stream(200, 400, {"1.5", "1.7"}),
              Stream(400, 2500, {"1.000 kg"}, true)),
         2500,
         {"0"}},
        {"the last frame is said after the stream stops",
         Join(Stream(0, 2000, {"1.001 kg", "1.002 kg"}),
              std::vector<Shown>{{2000, "1.003 kg", false}}),
         4000,
         {"2600"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Announced(c.stream, c.untilMs), c.said) << c.name;
}

}  // namespace
