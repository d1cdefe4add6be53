#include "read/FamilyOptions.h"

#include "scale/families/Family.h"

namespace reader {

std::size_t TakeFamilyOption(std::span<const std::string_view> args, std::size_t at,
                             FamilyOptions& options, std::string* error) {
    const std::string_view name = args[at];
    if (name != "--protocol" && name != "--line" && name != "--pattern")
        return 0;
    if (at + 1 >= args.size()) {
        *error = std::string(name) + " needs a value";
        return 2;
    }
    const std::string_view value = args[at + 1];
    if (name == "--protocol") {
        options.protocol = std::string(value);
        if (value != "auto" && !scale::families::Find(value))
            *error = "--protocol must be auto or one of " + scale::families::Names();
    } else if (name == "--line") {
        options.line = scale::families::ParseLine(value);
        if (!options.line)
            *error =
                "--line needs BAUD[,FRAMING]: a baud rate of 1200, 2400, 4800, 9600, 19200, "
                "38400, 57600 or 115200, then 7 or 8 data bits, N, E or O, 1 or 2 stop bits "
                "(2400,7E1); not '" +
                std::string(value) + "'";
    } else {
        options.pattern = std::string(value);
        if (value.empty())
            *error = "--pattern needs a regular expression with a group named value";
    }
    return 2;
}

std::optional<std::string> CheckFamilyOptions(const FamilyOptions& options) {
    if (options.line && !options.Enabled())
        return "--line goes with --protocol";
    if (!options.pattern.empty() && options.protocol != "pattern")
        return "--pattern goes with --protocol pattern";
    if (options.protocol == "pattern") {
        if (options.pattern.empty())
            return "--protocol pattern needs --pattern REGEX";
        std::string error;
        if (!scale::families::MakeDecoder(*scale::families::Find("pattern"), scale::kLine,
                                          options.pattern, &error))
            return "--pattern: " + error;
    }
    return std::nullopt;
}

std::string FamilyUsage() {
    return "  --protocol NAME    the scale's family: auto (found on each port), or " +
           scale::families::Names() +
           "\n"
           "                     (default: the 0x05 probe of COM1 to COM32)\n"
           "  --line BAUD[,FRAMING]  line settings, e.g. 2400,7E1 (default: the family's usual)\n"
           "  --pattern REGEX    with --protocol pattern: a line's groups value, unit, stable\n";
}

}  // namespace reader
