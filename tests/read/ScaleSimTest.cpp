// karvel-read against the simulated scale, as a user runs it: one JSON line per change of the
// display, read back by another program's JSON parser and compared with the display the
// simulator's own model shows.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "tests/read/ReadTestSupport.h"
#include "tools/scalesim/ScaleFrames.h"
#include "tools/scalesim/ScaleModel.h"

namespace readtest {
namespace {

constexpr std::uint32_t kSeed = 5;
constexpr int kRate = 80;
constexpr int kCount = 15;

struct Line {
    std::string text, value, frame;
};

std::string Hex(const scale::FrameBytes& bytes) {
    std::ostringstream out;
    for (const std::uint8_t b : bytes)
        out << "0123456789abcdef"[b >> 4] << "0123456789abcdef"[b & 0x0F];
    return out.str();
}

TEST(ReaderOnSimulator, OneParsedJsonLinePerChangeMatchingTheSimulatedDisplay) {
    TempDir ports;
    Child sim({KARVEL_SCALESIM_PATH, "--port-dir", ports.Path().string(), "--com", "2", "--silent",
               "1", "--rate", std::to_string(kRate), "--seed", std::to_string(kSeed), "--quiet"});
    std::optional<std::string> ready;
    while ((ready = sim.ReadLine()) && *ready != "ready") {
    }
    ASSERT_TRUE(ready);
    const std::string script =
        "KARVEL_PORT_DIR=" + ports.Path().string() + " " + ReaderPath() + " --count " +
        std::to_string(kCount) +
        " | python3 -c 'import json,sys\n"
        "for l in sys.stdin:\n"
        "  o=json.loads(l)\n"
        "  print(o[\"text\"]+\"|\"+json.dumps(o[\"value\"])+\"|\"+o[\"frame\"])'";
    Child pipeline({"/bin/sh", "-c", script});
    std::vector<Line> lines;
    while (auto text = pipeline.ReadLine()) {
        std::istringstream fields(*text);
        Line line;
        std::getline(fields, line.text, '|');
        std::getline(fields, line.value, '|');
        std::getline(fields, line.frame, '|');
        lines.push_back(line);
    }
    ASSERT_EQ(pipeline.Wait(), 0) << pipeline.Errors();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kCount)) << pipeline.Errors();

    // The simulator's model of COM2, tick by tick: each line is a later frame than the one
    // before, and shows what that frame shows.
    scalesim::ScaleModel model(kSeed + 2, kRate);
    std::size_t matched = 0;
    std::string previous;
    for (int tick = 0; tick < 100000 && matched < lines.size(); ++tick) {
        model.Tick();
        const scale::Slots slots = model.Slots();
        const std::string frame = Hex(scalesim::EncodeFrame(slots));
        if (frame != lines[matched].frame)
            continue;
        const Line& line = lines[matched];
        EXPECT_NE(line.frame, previous) << "no change at line " << matched;
        EXPECT_EQ(line.text, scalesim::ReadingText(slots.hex)) << line.frame;
        char* end = nullptr;
        const double shown = std::strtod(line.text.c_str(), &end);
        if (*end == '\0' && !line.text.empty() && (slots.wm & scalesim::kWmOverLoad) == 0)
            EXPECT_DOUBLE_EQ(std::strtod(line.value.c_str(), nullptr), shown) << line.frame;
        else
            EXPECT_EQ(line.value, "null") << line.frame;
        previous = line.frame;
        ++matched;
    }
    EXPECT_EQ(matched, lines.size()) << "line " << matched << " is no frame the model shows";
}

}  // namespace
}  // namespace readtest
