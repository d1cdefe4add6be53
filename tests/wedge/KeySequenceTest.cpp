// What is typed for a reading: the format's fields and literals, the decimal sign, what is
// refused, and the --type options of both programs.

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "read/ReadOptions.h"
#include "tests/wedge/WeighingFrames.h"
#include "wedge/KeySequence.h"
#include "wedge/TypeOptions.h"

namespace wedge {
namespace {

std::string Typed(std::string_view format, const std::string& shown, char decimal = '.') {
    std::string error;
    const auto pieces = ParseFormat(format, &error);
    EXPECT_TRUE(pieces) << format << ": " << error;
    const Composed composed =
        Compose(pieces.value_or(std::vector<Piece>{}), wedgetest::Captured(shown), decimal);
    EXPECT_EQ(composed.refusal, Refusal::kNone) << shown;
    return AsText(composed.strokes);
}

TEST(TypeFormat, FieldsAndLiteralsComeOutAsTheyAreShown) {
    const struct {
        std::string_view format;
        std::string shown;
        char decimal;
        std::string typed;
    } cases[] = {
        {kDefaultFormat, "12.345", '.', "12.345\n"},
        {kDefaultFormat, "12.345", ',', "12,345\n"},
        {kDefaultFormat, "-0.50", '.', "-0.50\n"},
        {kDefaultFormat, ".5", '.', "0.5\n"},
        {kDefaultFormat, "1200", ',', "1200\n"},
        {"{value}{tab}{unit}{enter}", "12.345", ',', "12,345\tkg\n"},
        // The display's text is as shown: the decimal sign is {value}'s.
        {"{text} {unit}", "12.345", ',', "12.345 kg"},
        {"Gewicht: {value}€{{ok}}", "3.2", ',', "Gewicht: 3,2€{ok}"},
        {"{tab}{tab}{value}", "7", '.', "\t\t7"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Typed(c.format, c.shown, c.decimal), c.typed) << c.format << " " << c.shown;
}

TEST(TypeFormat, TimeIsLocalIso8601WithItsOffset) {
    const std::string typed = Typed("{time}", "1");
    EXPECT_TRUE(
        std::regex_match(typed, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)")))
        << typed;
}

TEST(TypeFormat, RefusesFormatsThatCannotBeTyped) {
    const struct {
        std::string_view format;
        std::string_view says;
    } cases[] = {
        {"", "empty"},
        {"{weight}", "unknown field '{weight}'"},
        {"{Value}", "unknown field"},
        {"{value", "without its '}'"},
        {"value}", "without its '{'"},
        {"{value}\n", "control characters are refused"},
        {"a\tb", "control characters are refused"},
        {"\x1b[2J", "control characters are refused"},
        {"\xc2\x9b", "control characters are refused"},  // C1 CSI
        {"\xff", "not UTF-8"},
        {"\xc0\xae", "not UTF-8"},  // an overlong '.'
        {"\xe2\x82", "not UTF-8"},  // cut short
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(ParseFormat(c.format, &error)) << c.format;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.format << ": " << error;
    }
}

TEST(TypeFormat, AReadingWithoutANumberIsNotTyped) {
    std::string error;
    const auto pieces = ParseFormat(kDefaultFormat, &error);
    ASSERT_TRUE(pieces);
    for (const std::string shown : {"----", ""}) {
        const Composed composed = Compose(*pieces, wedgetest::Captured(shown), '.');
        EXPECT_EQ(composed.refusal, Refusal::kNoNumber) << shown;
        EXPECT_TRUE(composed.strokes.empty());
    }
    record::CapturedReading over = wedgetest::Captured("12.345");
    over.values.wm = scale::kWmOverLoad;
    over.reading = scale::Read(over.values);
    EXPECT_EQ(Compose(*pieces, over, '.').refusal, Refusal::kNoNumber);
}

// Only the format's Tab and Enter are keys: a field that brought a control character of its
// own would press one.
TEST(TypeFormat, AFieldWithAControlCharacterIsRefusedWhole) {
    std::string error;
    const auto pieces = ParseFormat("{value}{unit}{enter}", &error);
    ASSERT_TRUE(pieces);
    record::CapturedReading reading = wedgetest::Captured("1");
    for (const char* unit : {"k\x1bg", "\n", "\x7f"}) {
        reading.reading.unit = unit;
        const Composed composed = Compose(*pieces, reading, '.');
        EXPECT_EQ(composed.refusal, Refusal::kControlCharacter) << unit;
        EXPECT_TRUE(composed.strokes.empty());
    }
}

TEST(TypeOptions, AutoTakesThePortalOnWaylandThenX11ThenUinput) {
    const struct {
        Session session;
        Via via;
    } cases[] = {
        {{":0", "wayland-0", "wayland"}, Via::kPortal},
        {{"", "", "wayland"}, Via::kPortal},
        {{":0", "wayland-0", ""}, Via::kPortal},
        {{":0", "", "x11"}, Via::kX11},
        {{":1", "", ""}, Via::kX11},
        {{"", "", "tty"}, Via::kUinput},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Choose(Via::kAuto, c.session), c.via) << c.session.display;
    EXPECT_EQ(Choose(Via::kX11, {"", "wayland-0", "wayland"}), Via::kX11);
}

reader::ReadOptions ReaderOptions(std::vector<std::string_view> args, std::string* error) {
    return reader::ParseReadOptions(args, error).value_or(reader::ReadOptions{});
}

TEST(TypeOptions, TheReaderTakesThemAndTypesOneValuePerWeighing) {
    std::string error;
    const auto typed = ReaderOptions({"--type", "--type-format", "{value}{tab}{unit}{enter}",
                                      "--type-decimal", ",", "--type-via", "x11", "--quiet"},
                                     &error);
    ASSERT_EQ(error, "");
    EXPECT_TRUE(typed.type.enabled);
    EXPECT_EQ(typed.type.format, "{value}{tab}{unit}{enter}");
    EXPECT_EQ(typed.type.decimal, ',');
    EXPECT_EQ(typed.type.via, Via::kX11);
    EXPECT_TRUE(typed.quiet);
    EXPECT_EQ(typed.capture, record::CaptureRule::kSettled);
    // A rule the user gives stays; without --type the default stays.
    EXPECT_EQ(ReaderOptions({"--type", "--capture", "data"}, &error).capture,
              record::CaptureRule::kData);
    EXPECT_EQ(ReaderOptions({}, &error).capture, record::CaptureRule::kChange);
    EXPECT_FALSE(ReaderOptions({}, &error).type.enabled);

    const struct {
        std::vector<std::string_view> args;
        std::string_view says;
    } refused[] = {
        {{"--type-format", "{value}"}, "go with --type"},
        {{"--type-via", "x11"}, "go with --type"},
        {{"--type", "--type-via", "wayland"}, "x11, portal, uinput or auto"},
        {{"--type", "--type-decimal", ";"}, "'.' or ','"},
        {{"--type", "--type-format", "{weight}"}, "--type-format: unknown field"},
        {{"--type", "--type-format"}, "needs a value"},
        {{"--type", "--raw"}, "does not go with --type"},
    };
    for (const auto& c : refused) {
        error.clear();
        ReaderOptions(c.args, &error);
        EXPECT_NE(error.find(c.says), std::string::npos) << c.args.front() << ": " << error;
    }
}

}  // namespace
}  // namespace wedge
