// The one driver: what it applies, what it leaves to someone else, and how it refuses.

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/cli/OptionTable.h"

namespace cli {
namespace {

struct Taken {
    bool flag = false;
    std::string value;
    std::string optional = "(none)";
    bool help = false;
    std::size_t foreign = 0;
};

OptionTable MakeTable(Taken& taken) {
    OptionTable table(kReader);
    table.Add({.name = "--flag", .help = "a flag", .apply = Set(taken.flag)});
    table.Add({.name = "--value",
               .value = "V",
               .help = "a value",
               .apply = Keep(taken.value, "--value needs some text")});
    table.Add({.name = "--maybe",
               .value = "M",
               .help = "an optional value",
               .apply =
                   [&taken](std::optional<std::string_view> value) {
                       taken.optional = std::string(value.value_or("(none)"));
                       return posix::Success();
                   },
               .takes = Takes::kOptionalValue});
    table.Add({.name = "--help", .help = "help", .apply = Set(taken.help), .alias = "-h"});
    table.Add({.name = "--panels",
               .help = "not this program's",
               .apply = Set(taken.flag),
               .programs = kPanel});
    table.PassForeign([&taken](std::span<const std::string_view> args, std::size_t at) {
        const bool ours = args[at] == "-toolkit";
        taken.foreign += ours;
        return std::size_t{ours ? 2u : 0u};
    });
    return table;
}

TEST(OptionTable, TakesBothFormsAndRefusesInOneWording) {
    const struct {
        std::vector<std::string_view> args;
        std::string_view error;  // empty: taken
        std::string_view value;
        std::string_view optional;
    } cases[] = {
        {{"--value", "a"}, "", "a", "(none)"},
        {{"--value=a=b"}, "", "a=b", "(none)"},
        {{"--value", "-1"}, "", "-1", "(none)"},  // a value may begin with '-'
        {{"--maybe", "x"}, "", "", "x"},
        {{"--maybe", "--flag"}, "", "", "(none)"},
        {{"--maybe="}, "", "", ""},
        {{"-toolkit", "--flag"}, "", "", "(none)"},  // the value is the toolkit's
        {{"-h", "--flag"}, "", "", "(none)"},
        {{"--value"}, "--value needs a value", "", "(none)"},
        {{"--value="}, "--value needs some text", "", "(none)"},
        {{"--flag=1"}, "--flag takes no value", "", "(none)"},
        {{"--frobnicate"}, "unknown argument: --frobnicate: no such option", "", "(none)"},
        {{"--panels"}, "unknown argument: --panels: no such option", "", "(none)"},
        {{"-h=1"}, "unknown argument: -h=1: no such option", "", "(none)"},
        {{"stray"}, "unknown argument: stray", "", "(none)"},
        {{"--value", "a", "-"}, "unknown argument: -", "a", "(none)"},
    };
    for (const auto& c : cases) {
        Taken taken;
        const posix::Status status = MakeTable(taken).Parse(c.args);
        EXPECT_EQ(status ? "" : status.Error().text, c.error) << c.args.front();
        EXPECT_EQ(taken.value, c.value) << c.args.front();
        EXPECT_EQ(taken.optional, c.optional) << c.args.front();
    }
}

TEST(OptionTable, HelpAndUsageNameWhatTheProgramHasWithinEightyColumns) {
    Taken taken;
    const OptionTable table = MakeTable(taken);
    EXPECT_EQ(table.Names(),
              (std::vector<std::string>{"--flag", "--value", "--maybe", "-h", "--help"}));
    EXPECT_EQ(table.Usage("prog"), "Usage: prog [--flag] [--value V] [--maybe[=M]] [-h|--help]\n");
    EXPECT_EQ(table.Help(12),
              "  --flag    a flag\n"
              "  --value V a value\n"
              "  --maybe[=M]\n"
              "            an optional value\n"
              "  -h, --help\n"
              "            help\n");
    EXPECT_EQ(UsageErrorText("prog", "--value needs a value"),
              "prog: --value needs a value\nTry 'prog --help'.\n");
}

}  // namespace
}  // namespace cli
