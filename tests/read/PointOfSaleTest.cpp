// The point-of-sale families on the simulator, as a till reads them: found without a key sent,
// polled for each reading, and a key acting on the weight (TARE on an SMA scale, ZERO on an
// 8217, whose status answer to it is read too).

#include <signal.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/read/ReadTestSupport.h"

namespace readtest {
namespace {

constexpr auto kDetection = std::chrono::seconds(60);

bool Holds(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(PointOfSale, AKeyOnTheSimulatedScaleActsOnWhatItWeighs) {
    const struct {
        const char* family;
        const char* key;
        const char* found;
        const char* after;  // in a reading after the key
    } cases[] = {
        {"sma", "TARE", "COM1: sma at 9600 8N1", R"("text":"0.000","value":0.000,"unit":"kg")"},
        {"8217", "ZERO", "COM1: 8217 at 9600", R"("text":"0.000","value":0.000,"unit":null)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.family);
        TempDir dir;
        testing_support::ScopedEnv ports("KARVEL_PORT_DIR", dir.Path().string());
        // A load that lies still: the 8217 answers its weight only while it is valid.
        auto sim =
            StartSimulator(dir.Path().string(), {"--protocol", c.family, "--load", "1.250kg"});
        Child reader({ReaderPath(), "--protocol", "auto", "--keys", "--capture", "every"});
        const auto first = reader.ReadLine(kDetection);
        ASSERT_TRUE(first) << reader.Errors();
        EXPECT_TRUE(Holds(*first, R"("text":"1.250","value":1.250)")) << *first;
        EXPECT_TRUE(Holds(reader.Errors(), c.found)) << reader.Errors();
        reader.Write(std::string(c.key) + "\n");
        bool acted = false;
        for (int n = 0; n < 100 && !acted; ++n)
            acted = Holds(reader.ReadLine().value_or(""), c.after);
        EXPECT_TRUE(acted) << reader.Errors();
        reader.Signal(SIGTERM);
        EXPECT_EQ(reader.Wait(), 0);
    }
}

}  // namespace
}  // namespace readtest
