#include "bench/support/CommandLine.h"

#include <charconv>
#include <cstdio>
#include <filesystem>

namespace bench {

std::optional<int> ReadCommandLine(cli::OptionTable& table, std::string_view about, int argc,
                                   char** argv, std::vector<std::string>* operands) {
    const std::string program = std::filesystem::path(argv[0]).filename().string();
    bool help = false;
    table.Add(
        {.name = "--help", .help = "print this text", .apply = cli::Set(help), .alias = "-h"});
    if (operands) {
        table.PassForeign([operands](std::span<const std::string_view> args, std::size_t at) {
            if (args[at].starts_with('-'))
                return std::size_t{0};
            operands->emplace_back(args[at]);
            return std::size_t{1};
        });
    }
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (const posix::Status parsed = table.Parse(args); !parsed) {
        std::fputs(cli::UsageErrorText(program, parsed.Error().text).c_str(), stderr);
        return cli::kExitUsage;
    }
    if (!help)
        return std::nullopt;
    std::printf("%s%s\n\n%s", table.Usage(program).c_str(), std::string(about).c_str(),
                table.Help(20).c_str());
    return 0;
}

cli::Apply Whole(std::string name, int low, int high, int& into) {
    return [name = std::move(name), low, high, &into](std::optional<std::string_view> value) {
        int number = 0;
        const auto [end, ec] =
            std::from_chars(value->data(), value->data() + value->size(), number);
        if (ec != std::errc() || end != value->data() + value->size() || number < low ||
            number > high)
            return cli::Refuse(name + " needs a whole number from " + std::to_string(low) + " to " +
                               std::to_string(high));
        into = number;
        return posix::Success();
    };
}

}  // namespace bench
