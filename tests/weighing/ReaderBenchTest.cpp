// karvel-read at a packing line: the simulator puts items near 500 g on and off, and every
// settled weighing carries a verdict that agrees with its value, in JSON read back by Python;
// SAMPLE on --keys then counts pieces.

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "tests/read/ReadTestSupport.h"

namespace readtest {
namespace {

// The simulator, serving COM2 as a packing line of `items`, until the test ends.
struct PackingLine {
    explicit PackingLine(const std::string& items)
        : sim({KARVEL_SCALESIM_PATH, "--port-dir", ports.Path().string(), "--com", "2", "--rate",
               "80", "--seed", "3", "--items", items, "--quiet"}) {
        std::optional<std::string> line;
        while ((line = sim.ReadLine()) && *line != "ready") {
        }
        ready = line.has_value();
    }
    std::string Env() const { return "KARVEL_PORT_DIR=" + ports.Path().string(); }

    TempDir ports;
    Child sim;
    bool ready = false;
};

TEST(ReaderAtAPackingLine, EverySettledItemGetsTheVerdictItsValueCalls) {
    PackingLine line("500g");
    ASSERT_TRUE(line.ready);
    const std::string script = line.Env() + " " + ReaderPath() +
                               " --capture settled --check 500g,-2,+5 --count 8"
                               " | python3 -c 'import json,sys\n"
                               "for l in sys.stdin:\n"
                               "  o=json.loads(l)\n"
                               "  print(o[\"text\"], o[\"unit\"], o[\"check\"], o[\"deviation\"])'";
    Child pipeline({"/bin/sh", "-c", script});
    int lines = 0;
    while (auto text = pipeline.ReadLine()) {
        std::istringstream fields(*text);
        std::string shown, unit, verdict;
        long deviation = 0;
        fields >> shown >> unit >> verdict >> deviation;
        ASSERT_EQ(unit, "kg") << *text;
        const long grams = std::lround(std::stod(shown) * 1000);
        EXPECT_EQ(deviation, grams - 500) << *text;
        EXPECT_EQ(verdict, grams < 498 ? "under" : grams > 505 ? "over" : "ok") << *text;
        ++lines;
    }
    ASSERT_EQ(pipeline.Wait(), 0) << pipeline.Errors();
    EXPECT_EQ(lines, 8);
}

TEST(ReaderAtAPackingLine, SampleOnKeysCountsPiecesFromThen) {
    PackingLine line("500g");
    ASSERT_TRUE(line.ready);
    Child reader({"/usr/bin/env", line.Env(), ReaderPath(), "--capture", "settled", "--keys",
                  "--count-pieces", "--format", "csv"});
    const auto header = reader.ReadLine();
    ASSERT_TRUE(header) << reader.Errors();
    EXPECT_TRUE(header->ends_with(",capture,pieces,unit_weight\r")) << *header;
    // Each settled item is offered as the sample until one is taken while it still lies there.
    bool taken = false;
    std::optional<std::string> row;
    while (!taken && (row = reader.ReadLine())) {
        reader.Write("SAMPLE\n");
        taken = reader.WaitForError("SAMPLE: 10 pieces weigh", std::chrono::seconds(2));
    }
    ASSERT_TRUE(taken) << reader.Errors();
    // Items a few grams apart are all ten pieces of the sample's weight.
    int counted = 0;
    while (counted < 3 && (row = reader.ReadLine())) {
        if (row->find(",settled,") == std::string::npos)
            continue;
        const std::string pieces = row->substr(row->find(",settled,") + 9);
        if (pieces.starts_with(",") || pieces.starts_with("0,"))
            continue;  // the empty pan, skipped by the rule, or no count
        EXPECT_TRUE(pieces.starts_with("10,")) << *row;
        ++counted;
    }
    EXPECT_EQ(counted, 3) << reader.Errors();
}

}  // namespace
}  // namespace readtest
