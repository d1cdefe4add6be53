#include "scale/families/FamilyOptions.h"

#include <cctype>

#include "platform/serial/PortNames.h"
#include "scale/families/Family.h"

namespace scale::families {
namespace {

using cli::Refuse;
using Value = std::optional<std::string_view>;

posix::Status TakePort(std::string_view value, std::string& port) {
    if (value.find('/') != std::string_view::npos) {
        port = std::string(value);
        return posix::Success();
    }
    std::string upper(value);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (serial_port::ComNumberOf(upper)) {
        port = upper;
        return posix::Success();
    }
    return Refuse("--port '" + std::string(value) +
                  "': not a port; give COM1 to COM32 or a device path such as /dev/ttyUSB0");
}

}  // namespace

void AddPortOption(cli::OptionTable& table, std::string& port, std::string help,
                   std::function<bool(std::string_view)> ownWire) {
    table.Add({.name = "--port",
               .value = "COMn|PATH",
               .help = std::move(help),
               .apply =
                   [&port, ownWire = std::move(ownWire)](Value value) {
                       if (ownWire && ownWire(*value)) {
                           port = std::string(*value);
                           return posix::Success();
                       }
                       return TakePort(*value, port);
                   },
               .programs = cli::kBoth});
}

void AddFamilyOptions(cli::OptionTable& table, FamilyOptions& options) {
    table.Add({.name = "--protocol",
               .value = "NAME|auto",
               .help = "the scale's family: auto (found on each port), or " + Names() +
                       " (default: the 0x05 probe of COM1 to COM32)",
               .apply =
                   [&options](Value value) {
                       options.protocol = std::string(*value);
                       if (*value != "auto" && !Find(*value))
                           return Refuse("--protocol must be auto or one of " + Names());
                       return posix::Success();
                   },
               .programs = cli::kBoth});
    table.Add({.name = "--line",
               .value = "BAUD[,FRAMING]",
               .help = "line settings, e.g. 2400,7E1 (default: the family's usual)",
               .apply =
                   [&options](Value value) {
                       options.line = ParseLine(*value);
                       if (options.line)
                           return posix::Success();
                       return Refuse(
                           "--line needs BAUD[,FRAMING]: a baud rate of 1200, 2400, 4800, 9600, "
                           "19200, 38400, 57600 or 115200, then 7 or 8 data bits, N, E or O, 1 or "
                           "2 stop bits (2400,7E1); not '" +
                           std::string(*value) + "'");
                   },
               .programs = cli::kBoth});
    table.Add({.name = "--pattern",
               .value = "REGEX",
               .help = "with --protocol pattern: a line's groups value, unit, stable",
               .apply = cli::Keep(options.pattern,
                                  "--pattern needs a regular expression with a group named value"),
               .programs = cli::kBoth});
}

posix::Status CheckFamilyOptions(const FamilyOptions& options) {
    if (options.line && !options.Enabled())
        return Refuse("--line goes with --protocol");
    if (!options.pattern.empty() && options.protocol != "pattern")
        return Refuse("--pattern goes with --protocol pattern");
    if (options.protocol == "pattern") {
        if (options.pattern.empty())
            return Refuse("--protocol pattern needs --pattern REGEX");
        std::string error;
        if (!MakeDecoder(*Find("pattern"), kLine, options.pattern, &error))
            return Refuse("--pattern: " + error);
    }
    return posix::Success();
}

}  // namespace scale::families
