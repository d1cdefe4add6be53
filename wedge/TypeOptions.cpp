#include "wedge/TypeOptions.h"

namespace wedge {
namespace {

using Value = std::optional<std::string_view>;

std::optional<Via> ViaNamed(std::string_view name) {
    for (const Via via : {Via::kAuto, Via::kX11, Via::kPortal, Via::kUinput}) {
        if (ViaName(via) == name)
            return via;
    }
    return std::nullopt;
}

}  // namespace

Session Session::From(const posix::Environment& environment) {
    return {environment.display, environment.waylandDisplay, environment.sessionType};
}

Session Session::FromProcess() {
    return From(posix::Environment::FromProcess());
}

std::string_view ViaName(Via via) {
    switch (via) {
        case Via::kX11:
            return "x11";
        case Via::kPortal:
            return "portal";
        case Via::kUinput:
            return "uinput";
        case Via::kAuto:
            break;
    }
    return "auto";
}

void AddTypeOptions(cli::OptionTable& table, TypeOptions& options, std::string help) {
    table.Add({.name = "--type",
               .help = std::move(help),
               .apply = cli::Set(options.enabled),
               .programs = cli::kBoth});
    table.Add({.name = "--type-format",
               .value = "F",
               .help = "what is typed: {value} {unit} {text} {tab} {enter} {time} and literal "
                       "text (default: {value}{enter})",
               .apply =
                   [&options](Value value) {
                       options.format = std::string(*value);
                       options.formatGiven = options.detailGiven = true;
                       std::string why;
                       if (!ParseFormat(*value, &why))
                           return cli::Refuse("--type-format: " + why);
                       return posix::Success();
                   },
               .programs = cli::kBoth});
    table.Add({.name = "--type-decimal",
               .value = "D",
               .help = "the decimal sign of {value}: '.' (default) or ','",
               .apply =
                   [&options](Value value) {
                       options.detailGiven = true;
                       if (*value != "." && *value != ",")
                           return cli::Refuse("--type-decimal must be '.' or ','");
                       options.decimal = value->front();
                       return posix::Success();
                   },
               .programs = cli::kBoth});
    table.Add({.name = "--type-via",
               .value = "WAY",
               .help = "x11 (XTEST), portal (the desktop's remote-desktop portal), uinput (a "
                       "virtual keyboard; needs write access to /dev/uinput) or auto (default: "
                       "portal on Wayland, x11 where DISPLAY is set, else uinput)",
               .apply =
                   [&options](Value value) {
                       options.detailGiven = true;
                       const auto via = ViaNamed(*value);
                       if (!via)
                           return cli::Refuse("--type-via must be x11, portal, uinput or auto");
                       options.via = *via;
                       return posix::Success();
                   },
               .programs = cli::kBoth});
}

Via Choose(Via via, const Session& session) {
    if (via != Via::kAuto)
        return via;
    if (session.sessionType == "wayland" || !session.waylandDisplay.empty())
        return Via::kPortal;
    if (!session.display.empty())
        return Via::kX11;
    return Via::kUinput;
}

}  // namespace wedge
