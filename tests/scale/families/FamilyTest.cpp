// What every family shares: line settings as the user writes them, key commands, the pattern
// family's groups and bounds, and noise that must never become a reading.

#include <gtest/gtest.h>

#include "tests/scale/families/Decode.h"
#include "tools/peers/RandomBytes.h"

namespace {

using families_test::BytesOf;
using families_test::Decode;
using scale::families::Key;

TEST(LineSettings, WrittenAsBaudAndFraming) {
    struct Case {
        const char* text;
        bool valid;
        scale::LineSettings line;
    };
    const Case cases[] = {
        {"9600", true, {9600, 'N', 8, 1}},
        {"2400,7E1", true, {2400, 'E', 7, 1}},
        {"1200,7o1", true, {1200, 'O', 7, 1}},
        {"115200,8N2", true, {115200, 'N', 8, 2}},
        {"19200,8n1", true, {19200, 'N', 8, 1}},
        {"600", false, {}},
        {"230400", false, {}},
        {"9601", false, {}},
        {"9600,", false, {}},
        {"9600,6N1", false, {}},
        {"9600,8M1", false, {}},
        {"9600,8N3", false, {}},
        {"9600,8N1x", false, {}},
        {"", false, {}},
        {"fast", false, {}},
        {" 9600", false, {}},
    };
    for (const Case& c : cases) {
        const auto line = scale::families::ParseLine(c.text);
        ASSERT_EQ(line.has_value(), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(line->baud, c.line.baud) << c.text;
            EXPECT_EQ(line->parity, c.line.parity) << c.text;
            EXPECT_EQ(line->dataBits, c.line.dataBits) << c.text;
            EXPECT_EQ(line->stopBits, c.line.stopBits) << c.text;
        }
    }
    EXPECT_EQ(scale::families::LineText({2400, 'E', 7, 1}), "2400 7E1");
}

TEST(FamilyKeys, EachFamilySendsItsOwnCommandsAndLacksTheRest) {
    struct Case {
        const char* family;
        Key key;
        const char* command;  // nullptr: the family has no such key
    };
    const Case cases[] = {
        {"karvel", Key::kTare, "T"},
        {"karvel", Key::kData, "D"},
        {"karvel", Key::kZero, nullptr},
        {"sics", Key::kTare, "T\r\n"},
        {"sics", Key::kZero, "Z\r\n"},
        {"sics", Key::kMode, nullptr},
        {"and", Key::kTare, "T\r\n"},
        {"sbi", Key::kTare, "\x1bT"},
        {"sbi", Key::kPrint, "\x1bP"},
        {"sbi", Key::kZero, nullptr},
        {"ohaus", Key::kPrint, "P\r\n"},
        {"indicator", Key::kTare, "TARE\r\n"},
        {"indicator", Key::kPrint, "PRNT\r\n"},
        {"cas", Key::kTare, nullptr},
        {"pattern", Key::kTare, nullptr},
    };
    for (const Case& c : cases) {
        const auto command = scale::families::CommandFor(*scale::families::Find(c.family), c.key);
        ASSERT_EQ(command.has_value(), c.command != nullptr)
            << c.family << " " << scale::families::KeyName(c.key);
        if (c.command) {
            EXPECT_EQ(*command, c.command) << c.family;
        }
    }
    EXPECT_EQ(scale::families::KeyOfName("tare"), Key::kTare);
    EXPECT_EQ(scale::families::KeyOfName("On/Off"), Key::kOnOff);
    EXPECT_FALSE(scale::families::KeyOfName("TAREX"));
}

TEST(FamilyQueries, NoQueryChangesWhatTheScaleWeighs) {
    // A query must never be a key's command: detection sends queries to ports it does not know.
    for (const auto& family : scale::families::All()) {
        for (const auto& key : family.keys) {
            if (key.key != Key::kPrint) {
                EXPECT_NE(family.query, key.bytes) << family.name;
            }
        }
        EXPECT_FALSE(family.lines.empty()) << family.name;
    }
}

TEST(PatternFamily, NamedGroupsGiveValueUnitAndStable) {
    const char* pattern = R"(^W:(?<value>[-+ 0-9.]+)(?<unit>[a-z]+)(?<stable> S)?$)";
    const auto out = Decode("pattern", BytesOf("W:  12.5kg S\r\nW: -0.25lb\r\nX:1kg\r\n"), pattern);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].reading.text, "12.5");
    EXPECT_EQ(out[0].reading.unit, "kg");
    EXPECT_TRUE(out[0].reading.indicators.stable);
    EXPECT_EQ(out[1].reading.text, "-0.25");
    EXPECT_FALSE(out[1].reading.indicators.stable);
    // Without a stable group every reading is stable; a value that is no number is none.
    const auto plain = Decode("pattern", BytesOf("=7\r\n=x\r\n"), "=(?<value>.+)");
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_TRUE(plain[0].reading.indicators.stable);
    EXPECT_EQ(plain[0].reading.number->value, 7);
}

TEST(PatternFamily, RefusesAPatternItCannotUse) {
    for (const char* pattern : {"(?<weight>[0-9]+)", "(?<value>[0-9]+", ""}) {
        std::string error;
        EXPECT_EQ(scale::families::MakeDecoder(*scale::families::Find("pattern"), scale::kLine,
                                               pattern, &error),
                  nullptr)
            << pattern;
        EXPECT_FALSE(error.empty()) << pattern;
    }
}

TEST(PatternFamily, ABacktrackingPatternGivesUpInsteadOfStalling) {
    const std::string line = "1" + std::string(100, 'x') + "\r\n";
    EXPECT_TRUE(Decode("pattern", BytesOf(line), "^(?<value>[0-9]*)(x+x+)+y").empty());
}

TEST(FamilyDecoders, NoiseNeverBecomesAReading) {
    for (const auto& family : scale::families::All()) {
        // A frame is whatever follows 06 AA, by the panel's own rule; the probe tells its port.
        if (family.needsPattern || family.name == "karvel")
            continue;
        for (std::uint32_t seed = 1; seed <= 20; ++seed) {
            const std::string noise = testing_support::RandomBytes(4096, seed);
            EXPECT_TRUE(Decode(family.name, BytesOf(noise)).empty())
                << family.name << " seed " << seed;
        }
    }
}

TEST(FamilyDecoders, ALineTooLongIsDroppedAndTheNextOneRead) {
    const std::string line = std::string(300, ' ') + "S S     100.00 g\r\nS S       1.00 g\r\n";
    const auto out = Decode("sics", BytesOf(line));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].reading.text, "1.00");
}

TEST(FamilyReadings, SpokenAsAScreenReaderSaysThem) {
    const auto out = Decode("and", BytesOf("ST,NT,+0012.345 g\r\nOL,+9999999E+19\r\n"));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(scale::families::SpokenText(out[0].reading), "12.345 g, stable, net");
    EXPECT_EQ(scale::families::SpokenText(out[1].reading), "OL, over load");
}

}  // namespace
