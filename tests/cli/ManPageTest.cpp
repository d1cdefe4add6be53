// Each program's command line as a user meets it: every option --help lists is in the man page
// and the other way round, values joined with '=', and one way of refusing.

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tools/peers/TestFiles.h"

namespace {

using testing_support::ProgramRun;

ProgramRun RunTool(const std::string& program, const std::vector<std::string>& args) {
    testing_support::TempDir scratch;
    return testing_support::RunProgram(program, args, scratch.Path());
}

std::set<std::string> Matches(const std::string& text, const std::regex& pattern) {
    std::set<std::string> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern);
         it != std::sregex_iterator(); ++it) {
        for (std::size_t group = 1; group < it->size(); ++group) {
            if ((*it)[group].matched)
                found.insert((*it)[group].str());
        }
    }
    return found;
}

// Whether `text` names the option `name` (not merely a longer one that begins alike).
bool Names(const std::string& text, const std::string& name) {
    return std::regex_search(text, std::regex(name + R"((?:[ =|\[\]\n]|$))"));
}

// The names at the start of each entry: "  -h, --help ...", "  --count-pieces[=N] ...".
std::set<std::string> HelpOptions(const std::string& help) {
    return Matches(help, std::regex(R"((?:^|\n)  (?:(-[a-z]), )?(--[a-z][a-z0-9-]*))"));
}

// The names in the tags of the OPTIONS section: the line after each .TP.
std::set<std::string> ManOptions(const std::string& page) {
    std::ifstream file(page);
    std::string line, tags;
    bool inOptions = false, tagNext = false;
    while (std::getline(file, line)) {
        if (line.starts_with(".SH"))
            inOptions = line == ".SH OPTIONS";
        else if (inOptions && tagNext)
            tags += line + "\n";
        tagNext = inOptions && line == ".TP";
    }
    tags = std::regex_replace(tags, std::regex(R"(\\-)"), "-");
    return Matches(tags, std::regex(R"((?:^|[^-a-z])(--?[a-z][a-z0-9-]*))"));
}

TEST(ManPage, ListsEveryOptionOfHelpAndNoOther) {
    const struct {
        const char* program;
        const char* page;
    } programs[] = {
        {KARVEL_BINARY, "Karvel.1"},
        {KARVEL_READ_BINARY, "karvel-read.1"},
        {SCALESIM_BINARY, "karvel-scalesim.1"},
        {REGISTER_BINARY, "lumeq-register.1"},
        {PREVIEW_BINARY, "lumeq-preview.1"},
    };
    for (const auto& p : programs) {
        const ProgramRun help = RunTool(p.program, {"--help"});
        ASSERT_EQ(help.exitStatus, 0) << p.program << help.err;
        const std::set<std::string> listed = HelpOptions(help.out);
        const std::set<std::string> documented =
            ManOptions(std::string(KARVEL_MAN_DIR "/") + p.page);
        EXPECT_GE(listed.size(), 5u) << help.out;
        for (const std::string& name : listed)
            EXPECT_TRUE(documented.contains(name)) << p.page << " lacks " << name;
        for (const std::string& name : documented)
            EXPECT_TRUE(listed.contains(name)) << p.program << " --help lacks " << name;
        // The usage line names every option too (by its short name or its long one).
        const std::string usage = help.out.substr(0, help.out.find("\n\n"));
        const std::regex entry(R"((?:^|\n)  (?:(-[a-z]), )?(--[a-z][a-z0-9-]*))");
        for (auto it = std::sregex_iterator(help.out.begin(), help.out.end(), entry);
             it != std::sregex_iterator(); ++it)
            EXPECT_TRUE(Names(usage, (*it)[2]) || ((*it)[1].matched && Names(usage, (*it)[1])))
                << p.program << " usage lacks " << (*it)[2];
        std::istringstream lines(help.out);
        for (std::string line; std::getline(lines, line);)
            EXPECT_LE(line.size(), 80u) << line;
    }
}

TEST(ManPage, BothProgramsTakeJoinedValuesAndRefuseAlike) {
    const struct {
        const char* program;
        std::vector<std::string> args;
        int exitStatus;
        std::string err;  // all of standard error
    } cases[] = {
        {KARVEL_READ_BINARY, {"--format=csv", "--count=2", "--version"}, 0, ""},
        {KARVEL_BINARY, {"--log=weighings.csv", "--capture=every", "--version"}, 0, ""},
        {KARVEL_READ_BINARY,
         {"--format=xml"},
         2,
         "karvel-read: --format must be jsonl, csv or text (or xlsx, with --output)\n"
         "Try 'karvel-read --help'.\n"},
        {KARVEL_READ_BINARY,
         {"--frobnicate"},
         2,
         "karvel-read: unknown argument: --frobnicate: no such option\n"
         "Try 'karvel-read --help'.\n"},
        {KARVEL_BINARY,
         {"--frobnicate=1"},
         2,
         "Karvel: unknown argument: --frobnicate=1: no such option\nTry 'Karvel --help'.\n"},
        {KARVEL_READ_BINARY,
         {"--format", "csv", "--count"},
         2,
         "karvel-read: --count needs a value\nTry 'karvel-read --help'.\n"},
        {KARVEL_BINARY,
         {"--demo", "--log"},
         2,
         "Karvel: --log needs a value\nTry 'Karvel --help'.\n"},
        {KARVEL_BINARY,
         {"--type", "--type-format", "{bogus"},
         2,
         "Karvel: --type-format: a '{' without its '}' (write '{{' for a brace)\n"
         "Try 'Karvel --help'.\n"},
        {KARVEL_BINARY,
         {"--type-via", "nowhere"},
         2,
         "Karvel: --type-via must be x11, portal, uinput or auto\nTry 'Karvel --help'.\n"},
        {KARVEL_BINARY,
         {"--type", "--type-via=wayland"},
         2,
         "Karvel: --type-via must be x11, portal, uinput or auto\nTry 'Karvel --help'.\n"},
    };
    for (const auto& c : cases) {
        const ProgramRun run = RunTool(c.program, c.args);
        EXPECT_EQ(run.exitStatus, c.exitStatus) << c.program << " " << c.args.front() << run.err;
        EXPECT_EQ(run.err, c.err) << c.program << " " << c.args.front();
    }
}

}  // namespace
