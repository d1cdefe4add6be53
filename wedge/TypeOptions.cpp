#include "wedge/TypeOptions.h"

#include <cstdlib>

namespace wedge {
namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::optional<Via> ViaNamed(std::string_view name) {
    for (const Via via : {Via::kAuto, Via::kX11, Via::kPortal, Via::kUinput}) {
        if (ViaName(via) == name)
            return via;
    }
    return std::nullopt;
}

}  // namespace

Session Session::FromProcess() {
    return {Env("DISPLAY"), Env("WAYLAND_DISPLAY"), Env("XDG_SESSION_TYPE")};
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

std::size_t TakeTypeOption(std::span<const std::string_view> args, std::size_t at,
                           TypeOptions& options, std::string* error) {
    const std::string_view name = args[at];
    if (name == "--type") {
        options.enabled = true;
        return 1;
    }
    if (name != "--type-format" && name != "--type-decimal" && name != "--type-via")
        return 0;
    if (at + 1 >= args.size()) {
        *error = std::string(name) + " needs a value";
        return 1;
    }
    const std::string_view value = args[at + 1];
    if (name == "--type-format") {
        std::string why;
        if (!ParseFormat(value, &why))
            *error = "--type-format: " + why;
        options.format = std::string(value);
        options.formatGiven = true;
    } else if (name == "--type-decimal") {
        if (value != "." && value != ",")
            *error = "--type-decimal must be '.' or ','";
        else
            options.decimal = value[0];
    } else if (const auto via = ViaNamed(value)) {
        options.via = *via;
    } else {
        *error = "--type-via must be x11, portal, uinput or auto";
    }
    return 2;
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

std::string TypeUsage() {
    return "  --type             type each captured reading into the focused window, as if\n"
           "                     from the keyboard (the capture rule is then settled unless\n"
           "                     --capture says otherwise); readings without a number are\n"
           "                     skipped\n"
           "  --type-format F    what is typed: {value} {unit} {text} {tab} {enter} {time}\n"
           "                     and literal text (default: {value}{enter})\n"
           "  --type-decimal D   the decimal sign of {value}: '.' (default) or ','\n"
           "  --type-via WAY     x11 (XTEST), portal (the desktop's remote-desktop portal),\n"
           "                     uinput (a virtual keyboard; needs write access to\n"
           "                     /dev/uinput) or auto (default: portal on Wayland, x11 where\n"
           "                     DISPLAY is set, else uinput)\n";
}

}  // namespace wedge
