#pragma once

// A program's options as one table (name, value, help, how it is applied, which programs have
// it) and the one driver that reads a command line against it: `--opt value` and `--opt=value`
// alike, an unknown argument or a missing value refused in one wording. --help and the usage
// line are made from the same table. Plain C++; thread: whichever builds the table.

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/Result.h"

namespace cli {

// Which programs have an option: one bit each.
using Programs = unsigned;
inline constexpr Programs kPanel = 1u << 0;   // Karvel
inline constexpr Programs kReader = 1u << 1;  // karvel-read
inline constexpr Programs kBoth = kPanel | kReader;
inline constexpr Programs kEvery = ~0u;

// What follows an option's name.
enum class Takes {
    kNothing,        // a flag
    kValue,          // --opt VALUE or --opt=VALUE
    kOptionalValue,  // --opt, --opt=VALUE, or --opt VALUE when VALUE does not begin with '-'
};

// Applies an option: its value, nullopt for a flag or an optional value left out. A refusal's
// text is said as it is.
using Apply = std::function<posix::Status(std::optional<std::string_view> value)>;

// Every member has an initializer, so that a row names only what it needs.
struct Option {
    std::string name{};   // "--format"
    std::string value{};  // "FORM", as --help shows it; empty for a flag
    std::string help{};   // one paragraph; --help wraps it, a '\n' starts a new line
    Apply apply{};
    Programs programs = kEvery;
    Takes takes = Takes::kNothing;  // kValue is implied by a value name (see OptionTable::Add)
    std::string alias{};            // a short name such as "-h"; empty when none
    bool hidden = false;            // a name only refused with a reason; --help leaves it out
};

// The refusal of an option's value, in the one form every option uses.
posix::Status Refuse(std::string message);
// Sets `flag` when the option is given.
Apply Set(bool& flag);
// Keeps the value as it is given; an empty one is refused with `needs`.
Apply Keep(std::string& into, std::string needs);

class OptionTable;
// -h, --help ("print this text") and --version, every program's last two options.
void AddHelpAndVersion(OptionTable& table, bool& help, bool& version,
                       std::string versionHelp = "print the version");

class OptionTable {
  public:
    // The table of `program`: Add keeps only the options that program has.
    explicit OptionTable(Programs program) : m_program(program) {}

    Programs Program() const { return m_program; }
    // An option with a value name and no `takes` takes a value.
    void Add(Option option);

    // Arguments that belong to someone else (the toolkit's own options): how many arguments at
    // args[at] it takes, 0 when args[at] is not one of them.
    using Foreign = std::function<std::size_t(std::span<const std::string_view>, std::size_t)>;
    void PassForeign(Foreign foreign) { m_foreign = std::move(foreign); }

    // Applies every argument in order (the program's name not among them); the first refusal
    // ends it.
    posix::Status Parse(std::span<const std::string_view> args) const;

    // "Usage: NAME [--opt VALUE] ..." naming every option, wrapped.
    std::string Usage(std::string_view program) const;
    // One entry per option, its text from `column`, wrapped before column 80.
    std::string Help(std::size_t column) const;
    // The names --help lists, aliases included.
    std::vector<std::string> Names() const;

  private:
    const Option* Find(std::string_view name) const;
    // Applies the option at args[*at] and moves *at past what it took.
    posix::Status Take(std::span<const std::string_view> args, std::size_t* at) const;

    Programs m_program;
    std::vector<Option> m_options;
    Foreign m_foreign;
};

// What a program says on standard error for a refused command line, before it ends with
// kExitUsage: "NAME: MESSAGE\nTry 'NAME --help'.\n".
std::string UsageErrorText(std::string_view program, std::string_view message);
inline constexpr int kExitUsage = 2;

}  // namespace cli
