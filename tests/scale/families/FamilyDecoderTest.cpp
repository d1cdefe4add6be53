// Each family's decoder against lines as the makers' interface manuals print them: the reading
// must come out the same whole, split at every byte, and (for 7-bit families) on a 7E1 line with
// its parity bits set, as a port at 8N1 delivers them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "scale/Protocol.h"
#include "tests/scale/families/Decode.h"

namespace {

using families_test::BytesOf;
using families_test::Decode;
using families_test::DecodeSplit;
using families_test::WithParity;
using scale::Reading;

struct LineCase {
    const char* what;
    std::string line;   // as sent, with its end
    const char* text;   // the reading's text
    const char* exact;  // nullptr: no number
    const char* unit;
    const char* flags;  // "stable net gross tare over under error data"
};

Reading Expected(const LineCase& c) {
    Reading r;
    r.text = c.text;
    if (c.exact)
        r.number = scale::Number{c.exact, std::strtod(c.exact, nullptr)};
    r.unit = c.unit;
    std::istringstream words(c.flags);
    for (std::string word; words >> word;) {
        r.indicators.stable |= word == "stable";
        r.indicators.net |= word == "net";
        r.indicators.gross |= word == "gross";
        r.indicators.tare |= word == "tare";
        r.indicators.overLoad |= word == "over";
        r.indicators.dataSent |= word == "data";
        r.indicators.zero |= word == "zero";
        r.underLoad |= word == "under";
        if (word == "error")
            r.error = c.text;
    }
    return r;
}

// `sevenBit`: also with parity bits set. `endInBytes`: the reading's bytes keep the line's end.
void CheckFamily(std::string_view family, const std::vector<LineCase>& cases, bool sevenBit,
                 bool endInBytes = false) {
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.what);
        const Reading want = Expected(c);
        const auto bytes = BytesOf(c.line);
        const auto whole = Decode(family, bytes);
        ASSERT_EQ(whole.size(), 1u);
        EXPECT_EQ(whole[0].reading, want)
            << "text '" << whole[0].reading.text << "' unit '" << whole[0].reading.unit << "'";
        std::string body = c.line;
        while (!endInBytes && (body.ends_with('\n') || body.ends_with('\r')))
            body.pop_back();
        // A line that begins with its LF (SMA) begins after it.
        body.erase(0, body.find_first_not_of("\r\n"));
        EXPECT_EQ(whole[0].bytes, BytesOf(body));
        for (std::size_t split = 0; split <= bytes.size(); ++split) {
            const auto parts = DecodeSplit(family, bytes, split);
            ASSERT_EQ(parts.size(), 1u) << "split at " << split;
            EXPECT_EQ(parts[0].reading, want) << "split at " << split;
        }
        if (sevenBit) {
            const auto parity = Decode(family, WithParity(bytes), {}, families_test::k7E1);
            ASSERT_EQ(parity.size(), 1u) << "with parity bits";
            EXPECT_EQ(parity[0].reading, want) << "with parity bits";
        }
    }
}

// Lines of another family, or damaged ones, give nothing.
void CheckRefused(std::string_view family, const std::vector<std::string>& lines) {
    for (const std::string& line : lines)
        EXPECT_TRUE(Decode(family, BytesOf(line)).empty()) << family << ": " << line;
}

TEST(SicsFamily, RepliesAsTheReferenceManualPrintsThem) {
    CheckFamily("sics",
                {
                    {"stable", "S S     100.00 g\r\n", "100.00", "100.00", "g", "stable"},
                    {"dynamic", "S D     129.07 g\r\n", "129.07", "129.07", "g", ""},
                    {"negative", "S S     -12.50 mg\r\n", "-12.50", "-12.50", "mg", "stable"},
                    {"carats", "S S       0.10 ct\r\n", "0.10", "0.10", "ct", "stable"},
                    {"over load", "S +\r\n", "OL", nullptr, "", "over"},
                    {"under load", "S -\r\n", "UL", nullptr, "", "under"},
                    {"not executable", "S I\r\n", "S I", nullptr, "", "error"},
                    {"syntax error", "ES\r\n", "ES", nullptr, "", "error"},
                    {"logical error", "EL\r\n", "EL", nullptr, "", "error"},
                    {"transmission error", "ET\r\n", "ET", nullptr, "", "error"},
                },
                true);
    CheckRefused("sics", {"T S     100.00 g\r\n", "Z A\r\n", "S S     1.2.3 g\r\n",
                          "S X     100.00 g\r\n", "S S     100.00\r\n", "ST,+00012.34  g\r\n"});
}

TEST(AndFamily, LinesAsTheBalanceManualsPrintThem) {
    CheckFamily(
        "and",
        {
            {"stable", "ST,+00012.34  g\r\n", "12.34", "12.34", "g", "stable"},
            {"unstable", "US,-00000.05  g\r\n", "-0.05", "-0.05", "g", ""},
            {"kilograms", "ST,+0012.345 kg\r\n", "12.345", "12.345", "kg", "stable"},
            {"count", "QT,+00000123 PC\r\n", "123", "123", "pcs", "stable"},
            {"over load", "OL,+9999999E+19\r\n", "OL", nullptr, "", "over"},
            {"under load", "OL,-9999999E+19\r\n", "UL", nullptr, "", "under"},
            {"net, indicator form", "ST,NT,+0012.34kg\r\n", "12.34", "12.34", "kg", "stable net"},
            {"gross, indicator form", "US,GS,+0012.30kg\r\n", "12.30", "12.30", "kg", "gross"},
            {"error code", "EC,E11\r\n", "EC,E11", nullptr, "", "error"},
        },
        true);
    CheckRefused("and", {"XX,+00012.34  g\r\n", "ST,+000A2.34  g\r\n", "ST,XX,+0012.34kg\r\n",
                         "S S     100.00 g\r\n"});
}

TEST(SbiFamily, SixteenAndTwentyTwoCharacterLines) {
    CheckFamily("sbi",
                {
                    {"stable", "+    12.34 g  \r\n", "12.34", "12.34", "g", "stable"},
                    {"unstable: no unit", "-     0.05    \r\n", "-0.05", "-0.05", "", ""},
                    {"kilograms", "+   1.2345 kg \r\n", "1.2345", "1.2345", "kg", "stable"},
                    {"net", "N     +    12.34 kg \r\n", "12.34", "12.34", "kg", "stable net"},
                    {"gross", "G#    +   100.00 g  \r\n", "100.00", "100.00", "g", "stable gross"},
                    {"tare", "T     +     5.00 g  \r\n", "5.00", "5.00", "g", "stable tare"},
                    {"count", "Qnt   +      123 pcs\r\n", "123", "123", "pcs", "stable"},
                    {"over load", "Stat      H    \r\n", "OL", nullptr, "", "over"},
                    {"under load", "Stat      L    \r\n", "UL", nullptr, "", "under"},
                    {"another state", "Stat    CAL    \r\n", "Stat CAL", nullptr, "", "error"},
                },
                true);
    CheckRefused("sbi", {"+    12.34 g\r\n", "X     +    12.34 kg \r\n", "*    12.34 g  \r\n",
                         "+    12 34 g  \r\n"});
}

TEST(OhausFamily, LinesAsTheBalanceManualsPrintThem) {
    CheckFamily("ohaus",
                {
                    {"stable", "     12.34 g    \r\n", "12.34", "12.34", "g", "stable"},
                    {"unstable net", "     -1.234 kg ? NET\r\n", "-1.234", "-1.234", "kg", "net"},
                    {"sign apart", "  -    0.50 lb\r\n", "-0.50", "-0.50", "lb", "stable"},
                    {"gross", "    100.0 g G\r\n", "100.0", "100.0", "g", "stable gross"},
                    {"tare", "      5.0 g T\r\n", "5.0", "5.0", "g", "stable tare"},
                    {"count", "       25 PCS\r\n", "25", "25", "pcs", "stable"},
                    {"not understood", "ES\r\n", "ES", nullptr, "", "error"},
                },
                true);
    CheckRefused("ohaus", {"     12.34\r\n", "     12.34 g X\r\n", "     12.34 g ? G N\r\n",
                           "ST,+00012.34  g\r\n"});
}

// STX, status words A B C, six figures of weight, six of tare, CR.
std::string ToledoFrame(char a, char b, char c, const char* weight) {
    return std::string("\x02") + a + b + c + weight + "000000\r";
}

TEST(ToledoFamily, StatusBitsAsTheIndicatorManualsGiveThem) {
    // A 0x2C: two decimals, increment 1; B 0x30: kg, gross, positive, no motion; C 0x20.
    CheckFamily(
        "toledo",
        {
            {"stable gross kg", ToledoFrame(0x2C, 0x30, 0x20, "001234"), "12.34", "12.34", "kg",
             "stable gross"},
            {"motion", ToledoFrame(0x2C, 0x38, 0x20, "001234"), "12.34", "12.34", "kg", "gross"},
            {"negative net", ToledoFrame(0x2C, 0x33, 0x20, "  0050"), "-0.50", "-0.50", "kg",
             "stable net"},
            {"pounds, no decimals", ToledoFrame(0x2A, 0x20, 0x20, "000150"), "150", "150", "lb",
             "stable gross"},
            {"times ten", ToledoFrame(0x29, 0x20, 0x20, "000015"), "150", "150", "lb",
             "stable gross"},
            {"three decimals", ToledoFrame(0x2D, 0x30, 0x20, "012345"), "12.345", "12.345", "kg",
             "stable gross"},
            {"grams from word C", ToledoFrame(0x2A, 0x20, 0x21, "000250"), "250", "250", "g",
             "stable gross"},
            {"print requested", ToledoFrame(0x2C, 0x30, 0x28, "001234"), "12.34", "12.34", "kg",
             "stable gross data"},
            {"over range", ToledoFrame(0x2C, 0x34, 0x20, "999999"), "OL", nullptr, "", "over"},
            {"under range", ToledoFrame(0x2C, 0x36, 0x20, "999999"), "UL", nullptr, "", "under"},
        },
        true, true);
    // Status words without their always-set bit 5, a letter among the figures, no CR.
    CheckRefused("toledo",
                 {ToledoFrame(0x0C, 0x30, 0x20, "001234"), ToledoFrame(0x2C, 0x10, 0x20, "001234"),
                  ToledoFrame(0x2C, 0x30, 0x20, "00A234"), std::string("\x02,0 001234000000\n")});
}

TEST(ToledoFamily, AChecksumThatLooksLikeStxDoesNotCostTheNextFrame) {
    const std::string frame = ToledoFrame(0x2C, 0x30, 0x20, "001234");
    // Two's complement of the 7-bit sum; the frames are followed by an STX as their checksum.
    int sum = 0;
    for (const char c : frame)
        sum += c;
    const char checksum = static_cast<char>(-sum & 0x7F);
    const auto out = Decode("toledo", BytesOf(frame + checksum + frame + "\x02" + frame));
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[2].reading.text, "12.34");
}

// The frame and its checksum: the two's complement of the 7-bit sum of STX to CR.
std::string WithChecksum(const std::string& frame) {
    int sum = 0;
    for (const char c : frame)
        sum += c;
    return frame + static_cast<char>(-sum & 0x7F);
}

// A scale that sends checksums: figures changed after the checksum was made (001234 to 009999)
// drop their frame, however the bytes are split and with parity bits on a 7E1 line: from the
// stream's start, from mid-frame, and in a decoder made after detection read two frames.
TEST(ToledoFamily, AFrameWhoseChecksumFailsIsDroppedCountedAndSaidOnce) {
    const std::string good = WithChecksum(ToledoFrame(0x2C, 0x30, 0x20, "001234"));
    std::string bad = good;
    bad.replace(4, 6, "009999");
    const char* const said = "bad checksum: frame dropped";
    const struct {
        const char* what;
        std::string detected;  // what a decoder read before this one was made
        std::string sent;
        std::vector<std::string> texts;
        std::size_t badAt;  // where the first bad frame begins
    } cases[] = {
        {"from the start",
         "",
         good + bad + good + bad + good,
         {"12.34", said, "12.34", "12.34"},
         18},
        {"from mid-frame",
         "",
         good.substr(9) + bad + good + bad + good,
         {said, "12.34", "12.34"},
         9},
        {"after detection", good + good, bad + good + bad + good, {said, "12.34", "12.34"}, 0},
    };
    for (const auto& c : cases) {
        for (const bool parity : {false, true}) {
            const auto bytes = parity ? WithParity(BytesOf(c.sent)) : BytesOf(c.sent);
            for (std::size_t split = 0; split <= bytes.size(); split += 7) {
                SCOPED_TRACE(std::string(c.what) + (parity ? " 7E1" : " 8N1") + " split at " +
                             std::to_string(split));
                const scale::LineSettings line = parity ? families_test::k7E1 : scale::kLine;
                const auto detected = Decode("toledo", BytesOf(c.detected), {}, line);
                std::string error;
                auto decoder = scale::families::MakeDecoder(*scale::families::Find("toledo"), line,
                                                            {}, &error, detected);
                std::vector<scale::families::Decoded> out;
                decoder->Push(std::span(bytes).first(split), &out);
                decoder->Push(std::span(bytes).subspan(split), &out);
                std::vector<std::string> texts;
                for (const auto& decoded : out)
                    texts.push_back(decoded.reading.error.empty() ? decoded.reading.text
                                                                  : decoded.reading.error);
                EXPECT_EQ(texts, c.texts);
                EXPECT_EQ(decoder->Dropped(), 2u);
                const auto told = std::find_if(out.begin(), out.end(), [](const auto& decoded) {
                    return !decoded.reading.error.empty();
                });
                ASSERT_NE(told, out.end());
                EXPECT_EQ(told->bytes, std::vector<std::uint8_t>(bytes.begin() + c.badAt,
                                                                 bytes.begin() + c.badAt + 18));
            }
        }
    }
}

// At 8 data bits a byte over 0x7F is the scale's own (here Latin-1 µ, ±, ², ³), no figure or unit
// of a family: the line holding it is unreadable rather than read with bit 7 masked off. At 7
// data bits bit 7 is the parity bit, and the same bytes read as their seven bits.
TEST(FamilyDecoders, ABitSevenIsParityOnlyOnASevenBitLine) {
    const struct {
        const char* what;
        const char* family;
        const char* pattern;
        std::string bytes;
        const char* sevenBit;  // the text read at 7E1
    } cases[] = {
        {"micro sign in the unit", "sics", "", "S S    12.3\xB5g\r\n", "12.35"},
        {"plus-minus before the value", "sics", "",
         "S S \xB1"
         "5 g\r\n",
         "15"},
        {"superscripts among the figures", "sics", "", "S S 1\xB2\xB3 g\r\n", "123"},
        {"a&d", "and", "", "ST,+00012.3\xB4  g\r\n", "12.34"},
        {"the user's pattern", "pattern", R"(^W:(?<value>[0-9.]+)(?<unit>\S+))", "W:12.5\xB5g\r\n",
         "12.55"},
        {"a toledo figure", "toledo", "",
         ToledoFrame(0x2C, 0x30, 0x20,
                     "00\xB1"
                     "234"),
         "12.34"},
        {"a toledo status word", "toledo", "", ToledoFrame(0x2C, '\xB0', 0x20, "001234"), "12.34"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto bytes = BytesOf(c.bytes);
        EXPECT_TRUE(Decode(c.family, bytes, c.pattern).empty());
        const auto sevenBit = Decode(c.family, bytes, c.pattern, families_test::k7E1);
        ASSERT_EQ(sevenBit.size(), 1u);
        EXPECT_EQ(sevenBit[0].reading.text, c.sevenBit);
    }
}

TEST(CasFamily, TheTwentyTwoByteForm) {
    CheckFamily(
        "cas",
        {
            {"stable gross", "ST,GS,1@,  12.340 kg\r\n", "12.340", "12.340", "kg", "stable gross"},
            {"unstable net", "US,NT,1@,  -0.500 kg\r\n", "-0.500", "-0.500", "kg", "net"},
            {"pounds", "ST,GS,1@,   150.0 lb\r\n", "150.0", "150.0", "lb", "stable gross"},
            {"over load", "OL,GS,1@,        kg\r\n", "OL", nullptr, "", "over gross"},
        },
        true);
    CheckRefused("cas",
                 {"ST,GS,+0012.34kg\r\n", "XX,GS,1@,  12.340 kg\r\n", "ST,GS,1@,  12.3A0 kg\r\n"});
}

TEST(IndicatorFamily, TheCommonIndicatorString) {
    CheckFamily(
        "indicator",
        {
            {"stable gross", "ST,GS,+0012.34kg\r\n", "12.34", "12.34", "kg", "stable gross"},
            {"unstable net", "US,NT,-0000.50kg\r\n", "-0.50", "-0.50", "kg", "net"},
            {"comma before the unit", "ST,GS,    12.34,lb\r\n", "12.34", "12.34", "lb",
             "stable gross"},
            {"over load", "OL,GS,+9999999kg\r\n", "OL", nullptr, "", "over gross"},
        },
        true);
    CheckRefused("indicator",
                 {"ST,+00012.34  g\r\n", "ST,XX,+0012.34kg\r\n", "ST,GS,+00A2.34kg\r\n"});
}

TEST(KarvelFamily, FramesAsTheProbeAnswerAndDisplayGiveThem) {
    const scale::Slots shown{0x00, 0x04, 0x01, {0, 0, 0x06, 0x5B | 0x80, 0x4F, 0x66}};
    const scale::FrameBytes frame = scale::FrameOf(shown);
    const std::string line(frame.begin(), frame.end());
    CheckFamily("karvel", {{"a frame", line, "12.34", "12.34", "kg", "stable"}}, false, true);
}

}  // namespace

TEST(SmaFamily, ReplyFramesWithTheirStatusLetters) {
    CheckFamily(
        "sma",
        {
            {"gross", "\n 1G     5.025lb \r", "5.025", "5.025", "lb", "stable gross"},
            {"net", "\n 1N     1.250kg \r", "1.250", "1.250", "kg", "stable net"},
            {"negative net", "\n 1N    -0.120kg \r", "-0.120", "-0.120", "kg", "stable net"},
            {"tare", "\n 1T     0.500kg \r", "0.500", "0.500", "kg", "stable tare"},
            {"centre of zero", "\nZ1G      0.000kg \r", "0.000", "0.000", "kg",
             "stable gross zero"},
            {"in motion", "\n 1GM    7.650kg \r", "7.650", "7.650", "kg", "gross"},
            {"high resolution, range 2", "\n 2n    5.0025lb \r", "5.0025", "5.0025", "lb",
             "stable net"},
            {"over capacity", "\nO1G    31.000kg \r", "OL", nullptr, "", "over"},
            {"under capacity", "\nU1G    -1.000kg \r", "UL", nullptr, "", "under"},
            {"zero error", "\nE1G  ----------   \r", "zero error", nullptr, "", "error"},
            {"tare error", "\nT1N  ----------   \r", "tare error", nullptr, "", "error"},
            {"not stable in time", "\n 1G  ----------   \r", "no stable weight", nullptr, "",
             "error"},
        },
        true);
    CheckRefused("sma",
                 {"\n?\r", "\nX1G     5.025lb \r", "\n 1X     5.025lb \r", "\n 1GX    5.025lb \r",
                  "\n 1G     5.0.5lb \r", "\n 1G  \r", "S S     100.00 g\r\n"});
}

TEST(Toledo8217Family, WeightAndStatusRecords) {
    CheckFamily("8217",
                {
                    {"weight",
                     "\x02"
                     "01.250\r",
                     "1.250", "1.250", "", "stable"},
                    {"six figures",
                     "\x02"
                     "001250\r",
                     "1250", "1250", "", "stable"},
                    {"in motion", "\x02?a\r", "", nullptr, "", ""},
                    {"status: centre of zero", "\x02p\r", "", nullptr, "", "stable zero"},
                    {"over capacity", "\x02?b\r", "OL", nullptr, "", "over"},
                    {"under zero", "\x02?d\r", "UL", nullptr, "", "under"},
                    {"outside the zero capture range", "\x02?h\r", "outside the zero capture range",
                     nullptr, "", "error"},
                },
                true);
    CheckRefused("8217", {"\x02"
                          "1.250\r",
                          "\x02"
                          "01.2.5\r",
                          "\x02"
                          ".01250\r",
                          "\x02"
                          "01,250\r",
                          "\x02?A\r", "01.250\r", "\x02??\r"});
}
